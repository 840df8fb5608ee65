#include "workbook/ooxml/package.h"

#include "workbook/limits.h"
#include "workbook/zip/ziparchive.h"

#include <QPair>
#include <QStringList>
#include <QVector>
#include <algorithm>

namespace workbook::ooxml
{

Package::Package() = default;
Package::~Package() = default;

QString Package::key(const QString &partName)
{
    QString k = partName.startsWith(QLatin1Char('/')) ? partName.mid(1) : partName;
    return k.toLower();
}

std::unique_ptr<Package> Package::open(const QByteArray &bytes, QString *reason)
{
    std::unique_ptr<Package> package(new Package);
    package->m_zip = zip::ZipArchive::open(bytes, reason);
    if (!package->m_zip)
        return nullptr;
    package->m_fileSize = bytes.size();
    package->m_budget = std::min(limits::kMaxWorkbookInflated,
                                 std::max(limits::kWorkbookInflatedFloor,
                                          limits::kWorkbookInflatedRatio * qint64(bytes.size())));
    for (int i = 0; i < package->m_zip->entryCount(); ++i) {
        const QString k = key(package->m_zip->entry(i).name);
        if (package->m_index.contains(k)) {
            *reason = QStringLiteral("expected unique part names, found '%1' twice")
                          .arg(package->m_zip->entry(i).name);
            return nullptr;
        }
        package->m_index.insert(k, i);
    }
    return package;
}

int Package::entryIndex(const QString &partName) const
{
    return m_index.value(key(partName), -1);
}

bool Package::contains(const QString &partName) const
{
    const QString k = key(partName);
    return !m_removed.contains(k) && (m_changed.contains(k) || m_index.contains(k));
}

QStringList Package::partNames() const
{
    QStringList names;
    QSet<QString> seen;
    for (int i = 0; i < m_zip->entryCount(); ++i) {
        const QString &name = m_zip->entry(i).name;
        const QString k = key(name);
        seen.insert(k);
        if (!m_removed.contains(k) && !name.endsWith(QLatin1Char('/')))
            names.append(QLatin1Char('/') + name);
    }
    for (auto it = m_changed.constBegin(); it != m_changed.constEnd(); ++it) {
        if (!seen.contains(it.key()))
            names.append(QLatin1Char('/') + it.key());
    }
    return names;
}

bool Package::fits(qint64 more, const QString &what, QString *reason)
{
    if (!m_failure.isEmpty()) {
        *reason = m_failure;
        return false;
    }
    if (more <= m_budget - heldBytes())
        return true;
    // The largest held parts name where the budget went.
    QVector<QPair<qint64, QString>> held;
    for (auto it = m_changed.constBegin(); it != m_changed.constEnd(); ++it)
        held.append(qMakePair(it.value().size, QLatin1Char('/') + it.key()));
    std::sort(held.begin(), held.end(), [](const auto &a, const auto &b) { return a > b; });
    QStringList largest;
    for (int i = 0; i < held.size() && i < 3; ++i)
        largest << QStringLiteral("%1 (%2 bytes)").arg(held[i].second).arg(held[i].first);
    if (held.size() > 3)
        largest << QStringLiteral("%1 more").arg(held.size() - 3);
    if (m_keptBytes > 0)
        largest << QStringLiteral("the string table (%1 bytes)").arg(m_keptBytes);
    giveUp(QStringLiteral("beyond a limit: a workbook may hold at most %1 bytes inflated at once "
                          "(%2 times its file size of %3 bytes, at least %4, at most %5); %6 "
                          "needs %7 bytes beside the %8 held%9")
               .arg(m_budget)
               .arg(limits::kWorkbookInflatedRatio)
               .arg(m_fileSize)
               .arg(limits::kWorkbookInflatedFloor)
               .arg(limits::kMaxWorkbookInflated)
               .arg(what)
               .arg(more)
               .arg(heldBytes())
               .arg(largest.isEmpty() ? QString()
                                      : QStringLiteral(": ") + largest.join(QStringLiteral(", "))));
    *reason = m_failure;
    return false;
}

qint64 Package::roomFor(const QString &partName) const
{
    return m_budget - heldBytes() + m_changed.value(key(partName)).size;
}

bool Package::leaveHotPart(const QString &k, QString *reason)
{
    if (m_hot.isEmpty() || m_hot == k)
        return true;
    const auto hot = m_changed.find(m_hot);
    if (hot != m_changed.end() && !deflate(hot.key(), &hot.value(), reason))
        return false;
    m_hot.clear();
    return true;
}

bool Package::deflate(const QString &k, ChangedPart *part, QString *reason)
{
    if (part->deflated.isNull() &&
        !zip::DeflatedBytes::deflate(part->inflated, &part->deflated, reason)) {
        *reason = QStringLiteral("/%1: %2").arg(k, *reason);
        return false;
    }
    part->inflated = QByteArray();
    part->inflatedHeld = false;
    return true;
}

void Package::giveUp(const QString &reason)
{
    if (m_failure.isEmpty())
        m_failure = reason;
    // Nothing of a given-up package is written back: what it held can go.
    m_changed.clear();
    m_hot.clear();
    m_changedBytes = 0;
}

bool Package::read(const QString &partName, QByteArray *out, QString *reason)
{
    if (!m_failure.isEmpty()) {
        *reason = m_failure;
        return false;
    }
    const QString k = key(partName);
    if (!leaveHotPart(k, reason))
        return false;
    if (!m_removed.contains(k)) {
        const auto changed = m_changed.find(k);
        if (changed != m_changed.end()) {
            ChangedPart &part = changed.value();
            if (!part.inflatedHeld) {
                if (!part.deflated.inflate(&part.inflated, reason)) {
                    *reason = QStringLiteral("%1: %2").arg(partName, *reason);
                    return false;
                }
                part.inflatedHeld = true;
            }
            m_hot = k;
            *out = part.inflated;
            return true;
        }
        const int index = m_index.value(k, -1);
        if (index >= 0) {
            // Declared sizes are exact (the inflater refuses any other), so this is checked
            // before anything is inflated.
            if (!m_zip->withinLimits(index, reason) ||
                !fits(m_zip->entry(index).size, partName, reason))
                return false;
            return m_zip->read(index, out, reason);
        }
    }
    *reason = QStringLiteral("expected a part %1, found none").arg(partName);
    return false;
}

bool Package::write(const QString &partName, const QByteArray &content, QString *reason)
{
    const QString k = key(partName);
    const qint64 replaced = m_changed.value(k).size;
    if (!fits(content.size() - replaced, partName, reason) || !leaveHotPart(k, reason))
        return false;
    m_removed.remove(k);
    ChangedPart part;
    part.inflated = content;
    part.size = content.size();
    m_changed.insert(k, part);
    m_hot = k;
    m_changedBytes += content.size() - replaced;
    m_modified = true;
    return true;
}

void Package::remove(const QString &partName)
{
    const QString k = key(partName);
    m_changedBytes -= m_changed.value(k).size;
    m_changed.remove(k);
    if (m_hot == k)
        m_hot.clear();
    if (m_index.contains(k))
        m_removed.insert(k);
    m_modified = true;
}

bool Package::serialize(QByteArray *out, QString *reason)
{
    if (!m_failure.isEmpty()) {
        *reason = m_failure;
        return false;
    }
    // Every changed part goes into the container deflated, as it is held between sheets.
    for (auto it = m_changed.begin(); it != m_changed.end(); ++it) {
        if (!deflate(it.key(), &it.value(), reason))
            return false;
    }
    m_hot.clear();
    std::vector<zip::ZipArchive::OutputEntry> entries;
    entries.reserve(size_t(m_zip->entryCount()) + size_t(m_changed.size()));
    QSet<QString> written;
    for (int i = 0; i < m_zip->entryCount(); ++i) {
        const QString &name = m_zip->entry(i).name;
        const QString k = key(name);
        if (m_removed.contains(k))
            continue;
        zip::ZipArchive::OutputEntry e;
        e.name = name;
        const auto changed = m_changed.constFind(k);
        if (changed != m_changed.constEnd())
            e.deflated = changed.value().deflated;
        else
            e.sourceIndex = i;
        entries.push_back(e);
        written.insert(k);
    }
    // New parts, in a stable order.
    QStringList added;
    for (auto it = m_changed.constBegin(); it != m_changed.constEnd(); ++it) {
        if (!written.contains(it.key()))
            added.append(it.key());
    }
    added.sort();
    for (const QString &k : added) {
        zip::ZipArchive::OutputEntry e;
        e.name = k;
        e.deflated = m_changed.value(k).deflated;
        entries.push_back(e);
    }
    return m_zip->write(entries, out, reason);
}

QString Package::resolve(const QString &sourcePart, const QString &target)
{
    QString t = target;
    // Targets are URIs: a few producers percent-encode or use backslashes.
    t.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString path;
    if (t.startsWith(QLatin1Char('/'))) {
        path = t;
    } else {
        const int slash = sourcePart.lastIndexOf(QLatin1Char('/'));
        // Relationships of the package itself (/_rels/.rels) are relative to the root.
        const QString base = sourcePart.left(slash + 1);
        path = base == QLatin1String("/_rels/") ? QLatin1Char('/') + t : base + t;
    }
    // Most targets name their part plainly: nothing to normalise.
    const bool plain = path.startsWith(QLatin1Char('/')) && !path.contains(QLatin1String("//")) &&
                       !path.contains(QLatin1String("/.")) && !path.endsWith(QLatin1Char('/'));
    if (plain)
        return path;
    QStringList out;
    for (const QString &segment : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String("."))
            continue;
        if (segment == QLatin1String("..")) {
            if (!out.isEmpty())
                out.removeLast();
            continue;
        }
        out.append(segment);
    }
    return QLatin1Char('/') + out.join(QLatin1Char('/'));
}

QString Package::relationshipsPartOf(const QString &partName)
{
    const int slash = partName.lastIndexOf(QLatin1Char('/'));
    return partName.left(slash + 1) + QLatin1String("_rels/") + partName.mid(slash + 1) +
           QLatin1String(".rels");
}

} // namespace workbook::ooxml
