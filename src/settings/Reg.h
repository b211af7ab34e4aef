#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QSettings;

// A key store over one INI file (the root). A subkey is a group of that file;
// at most one is open at a time.
class CReg
{
public:
    explicit CReg(const QString& strRootFile);
    virtual ~CReg();

    CReg(const CReg&) = delete;
    CReg& operator=(const CReg&) = delete;

    // Opens an existing subkey for reading and writing; fails when the group is
    // absent or the file cannot be read or written.
    bool Open(const QString& strSubKey);
    // Opens the subkey, creating it if needed; fails when the file cannot be
    // read or written.
    bool Create(const QString& strSubKey);
    // Sets a binary value in the open subkey and flushes the file.
    bool SetBinaryValue(const QString& strName, const QByteArray& data);
    // Fails when no subkey is open or the value is missing or not binary.
    bool QueryValue(const QString& strName, QByteArray& data) const;
    void Close();
    bool IsOpen() const { return m_pKey != nullptr; }

    QString RootFile() const { return m_strRoot; }

private:
    bool OpenKey(const QString& strSubKey, bool bCreate);

    QString m_strRoot;
    std::unique_ptr<QSettings> m_pKey;
};
