#include "workbook/documentfactory.h"

#include "platform/filecontent.h"
#include "workbook/compoundfilefront.h"
#include "workbook/document.h"
#include "workbook/limits.h"
#include "workbook/ooxml/ooxmldocument.h"

namespace workbook
{

namespace
{

QString describeHead(const QByteArray &head)
{
    return QString::fromLatin1(head.left(8).toHex(' '));
}

Error::Kind kindOf(FileContent::Failure failure)
{
    switch (failure) {
    case FileContent::Failure::SymbolicLink:
    case FileContent::Failure::NotRegularFile:
        return Error::Kind::NotAWorkbook;
    case FileContent::Failure::TooLarge:
        return Error::Kind::BeyondLimit;
    case FileContent::Failure::Changed:
        return Error::Kind::ChangedWhileEditing;
    case FileContent::Failure::None:
    case FileContent::Failure::Io:
        break;
    }
    return Error::Kind::Io;
}

} // namespace

DocumentFactory::Format DocumentFactory::detect(const QByteArray &head)
{
    if (head.startsWith(QByteArray("PK\x03\x04", 4)))
        return Format::Ooxml;
    if (head.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)))
        return Format::CompoundFile;
    return Format::Unknown;
}

std::unique_ptr<Document> DocumentFactory::openFile(const QString &path, Error *error,
                                                    FileIdentity *identity)
{
    FileContent::Failure failure = FileContent::Failure::None;
    QString detail;
    const std::shared_ptr<const FileContent> content =
        FileContent::Open(path, limits::kMaxFileSize, &failure, &detail);
    if (!content) {
        fail(error, kindOf(failure), detail);
        return nullptr;
    }
    std::unique_ptr<Document> document = openBytes(content->Bytes(), error);
    if (!document)
        return nullptr;
    // Most of the file is read while it is opened: a file shortened meanwhile is caught here,
    // later ones by the workbook after every call.
    if (content->WasTruncated()) {
        fail(error, Error::Kind::ChangedWhileEditing,
             QStringLiteral("while being read: the file was shortened"));
        return nullptr;
    }
    if (content->IsMapped()) {
        // What opening read (a stream copied out of the file, its directory) is not kept in
        // memory twice: what the document reads in place is brought back as it reads it.
        content->ReleaseResident(content->Bytes().constData(), content->Bytes().size());
        document->keepSource(content);
    }
    if (identity)
        *identity = content->Identity();
    return document;
}

std::unique_ptr<Document> DocumentFactory::openBytes(const QByteArray &bytes, Error *error)
{
    switch (detect(bytes)) {
    case Format::Ooxml: {
        Error why;
        std::unique_ptr<Document> d = ooxml::OoxmlDocument::open(bytes, &why);
        if (!d)
            fail(error, why.kind, QStringLiteral("OOXML package: %1").arg(why.detail));
        return d;
    }
    case Format::CompoundFile:
        return CompoundFileFront::open(bytes, error);
    case Format::Unknown:
        break;
    }
    fail(error, Error::Kind::NotAWorkbook,
         QStringLiteral("expected an OOXML package (50 4b 03 04) or a compound file "
                        "(d0 cf 11 e0 a1 b1 1a e1), found first bytes '%1'")
             .arg(describeHead(bytes)));
    return nullptr;
}

} // namespace workbook
