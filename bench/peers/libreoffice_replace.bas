REM Find and replace over every .xlsx/.xlsm/.xls below a folder with LibreOffice Calc, in one
REM headless process. Same job as the server's replace run: every sheet is searched without
REM regard to case; a workbook is stored only when something was replaced. Document macros
REM never run. Parameters come from the environment (BENCH_FOLDER, BENCH_FIND,
REM BENCH_REPLACE); the counts go as one JSON line to the file BENCH_OUT. With BENCH_LIST_ONLY=1
REM it lists instead, as the server's list-only run over .xls workbooks does: every .xls below
REM the folder is searched sheet by sheet until the text is found, and nothing is stored.

Dim nWorkbooks As Long, nOpened As Long, nMatched As Long, nSaved As Long, nUnopenable As Long
Dim bListOnly As Boolean

Sub Main
    Dim sfa As Object
    sfa = createUnoService("com.sun.star.ucb.SimpleFileAccess")
    nWorkbooks = 0 : nOpened = 0 : nMatched = 0 : nSaved = 0 : nUnopenable = 0
    bListOnly = Environ("BENCH_LIST_ONLY") = "1"
    Visit(ConvertToURL(Environ("BENCH_FOLDER")), sfa)
    Dim n As Integer
    n = FreeFile
    Open Environ("BENCH_OUT") For Output As #n
    Print #n, "{""peer"": ""libreoffice"", ""workbooks"": " & nWorkbooks & ", ""opened"": " & nOpened & _
        ", ""matched"": " & nMatched & ", ""saved"": " & nSaved & ", ""unopenable"": " & nUnopenable & "}"
    Close #n
End Sub

Sub Visit(url As String, sfa As Object)
    Dim entries() As String, i As Long, lower As String
    entries = sfa.getFolderContents(url, True)
    For i = LBound(entries) To UBound(entries)
        If sfa.isFolder(entries(i)) Then
            Visit(entries(i), sfa)
        Else
            lower = LCase(entries(i))
            If (Right(lower, 5) = ".xlsx" Or Right(lower, 5) = ".xlsm" Or Right(lower, 4) = ".xls") And InStr(entries(i), "~$") = 0 Then
                nWorkbooks = nWorkbooks + 1
                Process(entries(i))
            End If
        End If
    Next i
End Sub

Sub Process(url As String)
    Dim args(1) As New com.sun.star.beans.PropertyValue
    Dim doc As Object, sheets As Object, sheet As Object, desc As Object
    Dim i As Long, hits As Long
    args(0).Name = "Hidden" : args(0).Value = True
    args(1).Name = "MacroExecutionMode" : args(1).Value = com.sun.star.document.MacroExecMode.NEVER_EXECUTE
    On Error GoTo Failed
    doc = StarDesktop.loadComponentFromURL(url, "_blank", 0, args())
    If IsNull(doc) Then GoTo Failed
    If Not doc.supportsService("com.sun.star.sheet.SpreadsheetDocument") Then
        doc.close(True)
        GoTo Failed
    End If
    nOpened = nOpened + 1
    On Error GoTo Done
    sheets = doc.Sheets
    hits = 0
    If bListOnly Then
        For i = 0 To sheets.Count - 1
            sheet = sheets.getByIndex(i)
            desc = sheet.createSearchDescriptor()
            desc.SearchString = Environ("BENCH_FIND")
            desc.SearchCaseSensitive = False
            If Not IsNull(sheet.findFirst(desc)) Then
                nMatched = nMatched + 1
                Exit For
            End If
        Next i
        GoTo Done
    End If
    For i = 0 To sheets.Count - 1
        sheet = sheets.getByIndex(i)
        desc = sheet.createReplaceDescriptor()
        desc.SearchString = Environ("BENCH_FIND")
        desc.ReplaceString = Environ("BENCH_REPLACE")
        desc.SearchCaseSensitive = False
        hits = hits + sheet.replaceAll(desc)
    Next i
    If hits > 0 Then
        nMatched = nMatched + 1
        doc.store()
        nSaved = nSaved + 1
    End If
Done:
    doc.close(True)
    Exit Sub
Failed:
    nUnopenable = nUnopenable + 1
End Sub
