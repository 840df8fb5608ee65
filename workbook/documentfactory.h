#pragma once

#include "workbook/error.h"

#include <QByteArray>
#include <QString>
#include <memory>

struct FileIdentity;

namespace workbook
{

class Document;

// The front: decides the format from the first bytes and hands the file to that format's
// backend. It never tries every reader in turn, so the backend's reason is the real one.
class DocumentFactory
{
public:
    enum class Format { Ooxml, CompoundFile, Unknown };

    static Format detect(const QByteArray &head);
    // Reads the file at path (never through a symbolic link; a large one is mapped and kept by
    // the document) and opens it; *identity gets the file's identity as read. A file that
    // changes while it is read is refused.
    static std::unique_ptr<Document> openFile(const QString &path, Error *error,
                                              FileIdentity *identity = nullptr);
    static std::unique_ptr<Document> openBytes(const QByteArray &bytes, Error *error);
};

} // namespace workbook
