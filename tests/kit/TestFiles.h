#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/resource.h>

// Whole-file reads and writes for tests.
// The bytes of a file; "<no file PATH>" when it cannot be read, so that a
// comparison with expected content names the missing file.
QByteArray ReadFile(const QString& strPath);
// Creates or truncates the file and writes all of bytes; false on any failure.
bool WriteFile(const QString& strPath, const QByteArray& bytes);
// The values of a patrol recording (.sdat); a torn last value reads as
// INT_MIN, never equal to a read; no file reads as no values.
QList<qint32> PatrolFileValues(const QString& strPath);

// What a reader may find at a path instead of its file.
enum class BadFile
{
    Truncated,  // the first bytes of a good file
    Sparse2GiB, // 2 GiB that take no disk space
    Random,     // 64 KiB of seeded random bytes
    Fifo,       // no writer ever comes
    Folder,
    SymlinkLoop,   // a link to itself
    EndlessDevice, // a link to /dev/zero
};

struct BadFileKind
{
    BadFile m_kind;
    const char* m_pszName;
};
// Every kind, with a name for a test row.
QList<BadFileKind> BadFileKinds();

// Puts a bad file of this kind at strPath (truncated: good cut to half);
// false when the kind cannot be made here.
bool MakeBadFile(BadFile kind, const QString& strPath, const QByteArray& good = QByteArray());

// Lowers this process's file size limit for one scope: a write past it fails
// with EFBIG, as on a full disk (SIGXFSZ is ignored from then on). The limit
// holds for every thread of the process; a test whose other threads write
// files runs the scope in a child process.
class CFileSizeLimit
{
public:
    explicit CFileSizeLimit(rlim_t nBytes);
    ~CFileSizeLimit();

    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

    bool IsSet() const { return m_bSet; }

private:
    rlimit m_old{};
    bool m_bSet = false;
};

// Caps this process's address space at what it uses now plus nBytes, for one
// scope: an allocation by a file's size fails instead of taking the machine.
// Not set under AddressSanitizer or ThreadSanitizer, whose shadow memory needs the space
// (IsSet() false); under ASan the tests' max_allocation_size_mb bounds each
// allocation instead (tests/CMakeLists.txt).
class CAllocationLimit
{
public:
    explicit CAllocationLimit(qint64 nBytes);
    ~CAllocationLimit();

    CAllocationLimit(const CAllocationLimit&) = delete;
    CAllocationLimit& operator=(const CAllocationLimit&) = delete;

    bool IsSet() const { return m_bSet; }

private:
    rlimit m_old{};
    bool m_bSet = false;
};

// Makes a folder unwritable for one scope, for root too: mode 0555 for a
// user; for root, whom modes do not stop, a read-only bind mount in this
// process's own mount namespace. Error() is what a write there meets (EACCES
// or EROFS). IsSet() is false, with the reason in Why(), when neither can be
// had (root without the right to mount, or a process with threads already).
class CUnwritableFolder
{
public:
    explicit CUnwritableFolder(const QString& strPath);
    ~CUnwritableFolder();

    CUnwritableFolder(const CUnwritableFolder&) = delete;
    CUnwritableFolder& operator=(const CUnwritableFolder&) = delete;

    bool IsSet() const { return m_nError != 0; }
    int Error() const { return m_nError; }
    QString Why() const { return m_strWhy; }

private:
    QByteArray m_path;
    int m_nError = 0;
    bool m_bMounted = false;
    QString m_strWhy;
};
