#pragma once

#include "workbook/error.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace workbook
{

class Document;

// Decides what a compound file holds from its directory, never by searching its bytes: a
// Workbook stream that starts with a BIFF8 BOF goes to the .xls backend; a Book stream or an
// older BOF is an unsupported format (the version named); an EncryptedPackage stream is a
// password-protected OOXML workbook; anything else is not a workbook.
class CompoundFileFront
{
public:
    static std::unique_ptr<Document> open(const QByteArray &bytes, Error *error);
};

} // namespace workbook
