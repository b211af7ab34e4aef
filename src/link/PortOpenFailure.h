#pragma once

#include <QString>

// Why the bus port did not open, in the system's terms: the errno, a line
// setting the port refused, or another program holding the port.
class CPortOpenFailure
{
public:
    QString m_strDevice;
    int m_nError = 0;            // errno; 0 when the port opened
    QString m_strRefusedSetting; // "baud rate 0" when a line setting was refused (EINVAL)
    bool m_bInUse = false;       // another program holds the port
    QString m_strHolder;         // "pid 1234 (minicom)" when a lock file names it
    QString m_strReason;         // the medium's own words, when it has some (a socket's)

    // "DEVICE: cannot open: REASON", with the dialout hint for EACCES.
    QString Text() const;
    // The line the window adds below its own message, empty unless EACCES.
    static QString Hint(int nError);
    static QString SystemText(int nError);

    // After QSerialPort failed to open strDevice: asks the system why by
    // opening it once more (O_RDWR | O_NOCTTY | O_NONBLOCK, closed at once)
    // and looks for a lock file naming its holder. bLockRefused: the port
    // reported a permission error, which is also how it reports a lock.
    // Where there is no such probe, the port's own error decides (bNotFound).
    static CPortOpenFailure Probe(const QString& strDevice, bool bLockRefused,
                                  bool bNotFound = false);
    static CPortOpenFailure Refused(const QString& strDevice, const QString& strSetting);

private:
#ifdef Q_OS_UNIX
    // The live process named by a lock file of the device, "" when none.
    static QString LockHolder(const QString& strDevice);
#endif
};
