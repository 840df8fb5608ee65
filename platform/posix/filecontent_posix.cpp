#include "platform/filecontent.h"
#include "platform/posix/statidentity.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

const std::int64_t FileContent::kMapFrom = std::int64_t(1) << 20;

namespace
{

// The mappings a SIGBUS may come from. The handler only reads these and swaps in a zero page,
// so it needs no lock; a mapping is entered here before its bytes are read and taken out only
// after its last read.
struct GuardSlot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> truncated{false};
    std::atomic<bool> used{false};
};
const int kGuardSlots = 256;
GuardSlot g_slots[kGuardSlots];
struct sigaction g_previous;
std::once_flag g_installed;
std::uintptr_t g_pageSize = 4096;

void onBusError(int signal, siginfo_t *info, void *context)
{
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardSlot &slot : g_slots) {
        if (address < slot.begin.load() || address >= slot.end.load())
            continue;
        void *start = reinterpret_cast<void *>(address & ~(g_pageSize - 1));
        // The access is retried on return and now reads zeros. (mmap is a plain system call
        // on Linux, safe here although POSIX does not list it for signal handlers.)
        if (::mmap(start, g_pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            slot.truncated.store(true);
            return;
        }
        break;
    }
    // Not ours: whatever handled it before does so now.
    if (g_previous.sa_flags & SA_SIGINFO) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    ::signal(SIGBUS, SIG_DFL);
}

bool installGuard()
{
    static bool installed = false;
    std::call_once(g_installed, [] {
        g_pageSize = std::uintptr_t(::sysconf(_SC_PAGESIZE));
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        installed = ::sigaction(SIGBUS, &action, &g_previous) == 0;
    });
    return installed;
}

int takeSlot(void *mapping, std::int64_t size)
{
    for (int i = 0; i < kGuardSlots; ++i) {
        bool expected = false;
        if (!g_slots[i].used.compare_exchange_strong(expected, true))
            continue;
        const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(mapping);
        g_slots[i].truncated.store(false);
        g_slots[i].begin.store(begin);
        g_slots[i].end.store(begin + std::uintptr_t(size));
        return i;
    }
    return -1;
}

void releaseSlot(int i)
{
    g_slots[i].end.store(0);
    g_slots[i].begin.store(0);
    g_slots[i].used.store(false);
}

QString errnoText(const char *what, int err)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(err)));
}

} // namespace

std::shared_ptr<FileContent> FileContent::Open(const QString &path, std::int64_t maxSize,
                                               Failure *failure, QString *detail)
{
    auto fail = [failure, detail](Failure why, const QString &text) {
        *failure = why;
        *detail = text;
        return nullptr;
    };
    // Plain calls: a run opens thousands of small files, and every system call shows.
    // Non-blocking, so that a FIFO named like a workbook cannot stall the run; not through a
    // link, so that what is read is the file a save will replace.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ELOOP)
            return fail(Failure::SymbolicLink,
                        QStringLiteral("expected a regular file, found a symbolic link"));
        return fail(Failure::Io, errnoText("cannot read the file", errno));
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(Failure::NotRegularFile, QStringLiteral("expected a regular file"));
    }
    if (st.st_size > maxSize) {
        ::close(fd);
        return fail(Failure::TooLarge,
                    QStringLiteral("expected a file of at most %1 bytes, found %2 bytes")
                        .arg(qint64(maxSize))
                        .arg(qint64(st.st_size)));
    }
    std::shared_ptr<FileContent> content(new FileContent);
    if (st.st_size >= kMapFrom && installGuard()) {
        // A zero page always follows the content, as a terminating zero follows the bytes of
        // a file read into memory; so reading one past the end is as harmless as it was.
        const std::int64_t page = ::sysconf(_SC_PAGESIZE);
        const std::int64_t span = (st.st_size + page - 1) / page * page + page;
        void *area = ::mmap(nullptr, size_t(span), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        void *mapping = area == MAP_FAILED ? MAP_FAILED
                                           : ::mmap(area, size_t(st.st_size), PROT_READ,
                                                    MAP_PRIVATE | MAP_FIXED, fd, 0);
        const int slot = mapping == MAP_FAILED ? -1 : takeSlot(mapping, st.st_size);
        if (slot >= 0) {
            content->m_guardSlot = slot;
            content->m_mapping = mapping;
            content->m_mappedSize = span;
            content->m_bytes =
                QByteArray::fromRawData(static_cast<const char *>(mapping), int(st.st_size));
        } else if (area != MAP_FAILED) {
            ::munmap(area, size_t(span));
        }
    }
    int readErr = 0;
    std::int64_t got = st.st_size;
    if (!content->m_mapping) {
        // One byte more than the size: a file that grew since fstat shows it by filling it.
        QByteArray bytes(int(st.st_size) + 1, Qt::Uninitialized);
        got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                readErr = errno;
            if (n <= 0)
                break;
            got += n;
        }
        bytes.chop(1);
        content->m_bytes = bytes;
    }
    struct stat after;
    const bool examined = ::fstat(fd, &after) == 0;
    if (content->m_mapping)
        content->m_descriptor = fd;
    else
        ::close(fd);
    if (readErr != 0)
        return fail(Failure::Io, errnoText("cannot read the whole file", readErr));
    const FileIdentity before = IdentityOfStat(st);
    if (!examined || got != st.st_size || IdentityOfStat(after) != before)
        return fail(Failure::Changed,
                    QStringLiteral("while being read: ") +
                        (examined ? before.differenceFrom(IdentityOfStat(after))
                                  : QStringLiteral("it cannot be examined again")));
    content->m_identity = before;
    return content;
}

FileContent::~FileContent()
{
    if (!m_mapping)
        return;
    releaseSlot(m_guardSlot);
    ::munmap(m_mapping, size_t(m_mappedSize));
    ::close(m_descriptor);
}

bool FileContent::WasTruncated() const
{
    if (m_guardSlot < 0)
        return false;
    if (g_slots[m_guardSlot].truncated.load())
        return true;
    struct stat now;
    return ::fstat(m_descriptor, &now) != 0 || now.st_size < m_bytes.size();
}

void FileContent::ReleaseResident(const char *begin, std::int64_t size) const
{
    if (!m_mapping || size <= 0)
        return;
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(m_mapping);
    const std::uintptr_t end = base + std::uintptr_t(m_bytes.size());
    const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(begin);
    if (from < base || from >= end)
        return;
    const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (from + page - 1) / page * page;
    const std::uintptr_t last = std::min(end, from + std::uintptr_t(size)) / page * page;
    // The mapping is private and never written, so the pages dropped hold nothing but the
    // file's bytes (or the zeros a shortened file left), and a later read brings them back.
    if (last > first)
        ::madvise(reinterpret_cast<void *>(first), size_t(last - first), MADV_DONTNEED);
}
