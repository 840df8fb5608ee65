#include "cli/commandline.h"

#include "cli/pairfile.h"

#include <QMap>
#include <QSet>

namespace
{

struct Subcommand {
    CommandLine::Operation operation;
    QSet<QString> required;
    QSet<QString> optional;
};

const QMap<QString, Subcommand> &subcommands()
{
    using Op = CommandLine::Operation;
    static const QMap<QString, Subcommand> table = {
        {"replace", {Op::Replace, {"--find", "--replace"}, {"--list-only"}}},
        {"replace-pairs",
         {Op::ReplacePairs, {"--find-file", "--replace-file"}, {"--list-only", "--encoding"}}},
        {"header", {Op::Header, {"--position", "--replace"}, {"--find"}}},
        {"footer", {Op::Footer, {"--position", "--replace"}, {"--find"}}},
        {"rename-sheets", {Op::RenameSheets, {"--replace"}, {"--find", "--nth"}}},
    };
    return table;
}

const QSet<QString> &valueOptions()
{
    static const QSet<QString> options = {"--find",         "--replace",  "--find-file",
                                          "--replace-file", "--position", "--nth",
                                          "--encoding",     "--log",      "--jobs"};
    return options;
}

const QSet<QString> &flagOptions()
{
    static const QSet<QString> options = {"--list-only", "--open-reports", "--verbose",
                                          "--no-undo"};
    return options;
}

QString positionWord(const QString &given)
{
    if (given == QStringLiteral("左边") || given == QLatin1String("left"))
        return QStringLiteral("左边");
    if (given == QStringLiteral("中间") || given == QLatin1String("center"))
        return QStringLiteral("中间");
    if (given == QStringLiteral("右边") || given == QLatin1String("right"))
        return QStringLiteral("右边");
    return QString();
}

} // namespace

CommandLine CommandLine::Parse(const QStringList &arguments)
{
    CommandLine line;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--"))
            break;
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help")) {
            line.m_help = true;
            return line;
        }
    }
    if (arguments.isEmpty()) {
        line.m_error = QStringLiteral("缺少子命令 Missing subcommand");
        return line;
    }
    const auto subcommand = subcommands().constFind(arguments.first());
    if (subcommand == subcommands().constEnd()) {
        line.m_error = QStringLiteral("未知子命令 Unknown subcommand: ") + arguments.first();
        return line;
    }
    line.m_operation = subcommand->operation;

    QMap<QString, QString> values;
    QStringList positional;
    bool optionsEnded = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnded || !argument.startsWith(QLatin1String("--"))) {
            positional << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const int equals = argument.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? argument : argument.left(equals);
        QString value;
        if (valueOptions().contains(name)) {
            if (equals >= 0) {
                value = argument.mid(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments.at(++i);
            } else {
                line.m_error = QStringLiteral("选项缺少值 Option needs a value: ") + name;
                return line;
            }
        } else if (!flagOptions().contains(name) || equals >= 0) {
            line.m_error = QStringLiteral("未知选项 Unknown option: ") + argument;
            return line;
        }
        const bool anySubcommand =
            name == QLatin1String("--open-reports") || name == QLatin1String("--verbose") ||
            name == QLatin1String("--log") || name == QLatin1String("--no-undo") ||
            name == QLatin1String("--jobs");
        if (!anySubcommand && !subcommand->required.contains(name) &&
            !subcommand->optional.contains(name)) {
            line.m_error = QStringLiteral("此子命令不接受该选项 Option not accepted by ") +
                           arguments.first() + QStringLiteral(": ") + name;
            return line;
        }
        if (values.contains(name)) {
            line.m_error = QStringLiteral("选项重复 Option given twice: ") + name;
            return line;
        }
        values.insert(name, value);
    }

    if (positional.size() != 1) {
        line.m_error = positional.isEmpty()
                           ? QStringLiteral("缺少文件夹 Missing FOLDER")
                           : QStringLiteral("多余的参数 Unexpected argument: ") + positional.at(1);
        return line;
    }
    line.m_folder = positional.first();
    if (line.m_folder.isEmpty()) {
        line.m_error = QStringLiteral("文件夹为空 FOLDER is empty");
        return line;
    }
    for (const QString &name : subcommand->required) {
        if (!values.contains(name)) {
            line.m_error = QStringLiteral("缺少选项 Missing option: ") + name;
            return line;
        }
    }

    line.m_findText = values.value("--find");
    // Header, footer and rename take an empty find as "set"; for cells it would match nothing.
    if (line.m_operation == Operation::Replace && line.m_findText.isEmpty()) {
        line.m_error =
            QStringLiteral("查找内容为空 --find is empty: an empty text matches nothing");
        return line;
    }
    line.m_replaceText = values.value("--replace");
    line.m_findFile = values.value("--find-file");
    line.m_replaceFile = values.value("--replace-file");
    line.m_encoding = values.value("--encoding").toLatin1();
    if (values.contains("--encoding") && !PairFile::isKnownEncoding(line.m_encoding)) {
        line.m_error = QStringLiteral("未知编码 Unknown encoding: ") + values.value("--encoding");
        return line;
    }
    line.m_listOnly = values.contains("--list-only");
    line.m_openReports = values.contains("--open-reports");
    line.m_verbose = values.contains("--verbose");
    line.m_noUndo = values.contains("--no-undo");
    if (values.contains("--log")) {
        line.m_logPath = values.value("--log");
        if (line.m_logPath.isEmpty()) {
            line.m_error = QStringLiteral("日志文件名为空 --log needs a file name");
            return line;
        }
    }
    if (values.contains("--jobs")) {
        bool ok = false;
        line.m_jobs = values.value("--jobs").toInt(&ok);
        if (!ok || line.m_jobs < 1 || line.m_jobs > 256) {
            line.m_error = QStringLiteral("同时处理数应为 1-256 的整数 --jobs must be a whole "
                                          "number from 1 to 256: ") +
                           values.value("--jobs");
            return line;
        }
    }
    if (values.contains("--position")) {
        line.m_position = positionWord(values.value("--position"));
        if (line.m_position.isEmpty()) {
            line.m_error =
                QStringLiteral("位置无效 Invalid position: ") + values.value("--position");
            return line;
        }
    }
    if (values.contains("--nth")) {
        bool ok = false;
        line.m_nth = values.value("--nth").toInt(&ok);
        if (!ok || line.m_nth < 1 || line.m_nth > 9999) {
            line.m_error = QStringLiteral("N 应为 1-9999 的整数 --nth must be a whole number "
                                          "from 1 to 9999: ") +
                           values.value("--nth");
            return line;
        }
    }
    return line;
}

QString CommandLine::UsageText()
{
    return QStringLiteral(
        "用法 Usage:\n"
        "  tessaromandel-cli replace FOLDER --find 文本 --replace 文本 [--list-only]\n"
        "  tessaromandel-cli replace-pairs FOLDER --find-file 文件 --replace-file 文件 "
        "[--list-only] [--encoding 编码]\n"
        "  tessaromandel-cli header FOLDER --position 位置 [--find 文本] --replace 文本\n"
        "  tessaromandel-cli footer FOLDER --position 位置 [--find 文本] --replace 文本\n"
        "  tessaromandel-cli rename-sheets FOLDER [--find 文本] --replace 文本 [--nth N]\n"
        "  tessaromandel-cli runs\n"
        "  tessaromandel-cli undo [RUN]\n"
        "  (每个处理子命令都接受 --open-reports、--verbose、--log 文件、--no-undo 与 --jobs N;"
        " every subcommand that processes a folder takes --open-reports, --verbose,"
        " --log FILE, --no-undo and --jobs N)\n"
        "\n"
        "子命令 Subcommands:\n"
        "  replace        在每个工作表的已用区域中查找并替换一个文本\n"
        "                 Find and replace one text in the used range of every sheet\n"
        "  replace-pairs  同时查找替换多对文本,每行一个,一一对应\n"
        "                 Several find/replace pairs at once, one text per line, paired by line\n"
        "  header         设置或查找替换每个工作表的页眉\n"
        "                 Set, or find and replace in, the page header of every sheet\n"
        "  footer         设置或查找替换每个工作表的页脚\n"
        "                 Set, or find and replace in, the page footer of every sheet\n"
        "  rename-sheets  在工作表名称中查找替换,或用 --nth 给第N个工作表改名\n"
        "                 Find and replace in sheet names, or rename the N-th sheet (--nth)\n"
        "  runs           列出保留的运行(可撤销)\n"
        "                 List the kept runs that can be taken back\n"
        "  undo [RUN]     撤销一次运行(默认最近一次):恢复内容仍是该运行所写的工作簿\n"
        "                 Take a run back (the latest by default): every workbook whose content\n"
        "                 is still what the run wrote gets its original again\n"
        "\n"
        "参数与选项 Arguments and options:\n"
        "  FOLDER               要处理的文件夹,含子文件夹;报告写在此文件夹中\n"
        "                       Folder to process, subfolders included; reports go inside it\n"
        "  --find 文本          查找内容;页眉页脚与改名时可省略(页眉页脚:整段设置为替换内容)\n"
        "                       Text to find; may be left out for header, footer and\n"
        "                       rename-sheets (header/footer: the whole section is set)\n"
        "  --replace 文本       替换内容(可为空)\n"
        "                       Replacement text (may be empty)\n"
        "  --list-only          只列出包含查找内容的文件,不替换\n"
        "                       Only list the files that contain the text; change nothing\n"
        "  --find-file 文件     查找内容文件,每行一个(本地编码,或按字节顺序标记)\n"
        "                       File with the texts to find, one per line (local encoding,\n"
        "                       or as its UTF-8/UTF-16 byte-order mark says)\n"
        "  --replace-file 文件  替换内容文件,每行一个,与查找内容逐行对应\n"
        "                       File with the replacements, one per line, paired by line\n"
        "  --encoding 编码      无字节顺序标记的查找/替换内容文件的编码,如 GBK、UTF-8、\n"
        "                       UTF-16LE(UTF-16 无标记时按小端)\n"
        "                       Encoding of pair files without a byte-order mark, e.g. GBK,\n"
        "                       UTF-8, UTF-16LE (UTF-16 without a mark: little-endian)\n"
        "  --position 位置      页眉或页脚的位置:左边|中间|右边 或 left|center|right\n"
        "                       Section of the header or footer: left, center or right\n"
        "  --nth N              只把第N个工作表(1-9999)改名为替换内容\n"
        "                       Give only the N-th sheet (1-9999) the replacement as its name\n"
        "  --open-reports       运行结束后打开写出的报告\n"
        "                       Open the written reports when the run ends\n"
        "  --verbose            说明每个无法打开或保存的文件的原因\n"
        "                       Say why each file could not be opened or saved\n"
        "  --log 文件           逐项记录每个修改(单元格、页眉页脚、工作表名)的修改前后,\n"
        "                       CSV,UTF-8 带字节顺序标记;与 --list-only 同用时只预览\n"
        "                       Log every change (cell, header or footer section, sheet name)\n"
        "                       before and after, as CSV in UTF-8 with a byte-order mark; with\n"
        "                       --list-only a preview that changes no workbook\n"
        "  --no-undo            不保留撤销数据\n"
        "                       Keep no undo data for this run\n"
        "  --jobs N             同时处理 N 个工作簿(默认每个处理器核心一个;1 为逐个处理);\n"
        "                       报告、日志与输出的顺序不变\n"
        "                       Work on N workbooks at once (default: one per processor core;\n"
        "                       1: one after the other); reports, log and output keep their\n"
        "                       order\n"
        "  -h, --help           显示本帮助\n"
        "                       Show this help\n"
        "\n"
        "匹配规则 Matching:\n"
        "  replace, replace-pairs  单元格文本不区分大小写,通配符 ? 任一字符, * 任意多个字符,\n"
        "                 ~ 使下一个 ?、* 或 ~ 按字面匹配\n"
        "                 Cell text is matched case-insensitively, with wildcards: ? one\n"
        "                 character, * any run of characters, ~ takes the next ?, * or ~\n"
        "                 literally\n"
        "  replace-pairs  各对按顺序执行,每对作用于前面各对的结果(A→B 与 B→A 不会互换)\n"
        "                 Pairs apply in order, each to the result of the earlier ones\n"
        "                 (A→B then B→A does not swap A and B)\n"
        "  header, footer, rename-sheets  区分大小写,按字面匹配,无通配符\n"
        "                 Case-sensitive and literal: no wildcards\n"
        "\n"
        "退出码 Exit codes:\n"
        "  0  运行结束 the run finished\n"
        "  1  无法启动表格服务 the workbook server could not be started\n"
        "  2  用法错误 usage error\n"
        "  3  文件夹不存在或不是文件夹 the folder does not exist or is not a folder\n"
        "  4  有报告未能写出 a report could not be written (or the change log)\n"
        "  5  无法创建日志,未运行 the log could not be created; nothing was run\n"
        "  6  无法撤销:运行不存在、已清除或仍在进行 undo: the run is unknown, pruned or still "
        "going\n"
        "  7  撤销时有工作簿运行后被修改,未恢复 undo: workbooks changed since the run were "
        "left alone\n");
}
