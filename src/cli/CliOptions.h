#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The command line of tolvex-cli: where the bus is, its line settings, and
// the command with its own arguments.
struct CliOptions
{
    enum class PortSource
    {
        Stored,
        Device,
        ComNumber,
        Simulator
    };

    PortSource m_source = PortSource::Stored;
    QString m_strDevice;          // --port
    int m_nCom = 0;               // --com
    QList<int> m_arrSimAddresses; // --simulate[=ADDRS]
    std::optional<int> m_nBaud;   // line settings given on the command line
    std::optional<char> m_cParity;
    std::optional<int> m_nDataBits;
    std::optional<int> m_nStopBits;
    bool m_bVerbose = false; // -v: the link's log on stderr
    QString m_strCommand;
    QStringList m_arrArguments; // everything after the command

    // argv (without the program name) as text. Names of files and devices are
    // used as given, so an argument that is no valid UTF-8, which would name
    // another file once decoded, is refused: false with a message in strError
    // that shows its bytes.
    static bool DecodeArguments(const QList<QByteArray>& arrRaw, QStringList& arrArgs,
                                QString& strError);

    // Fills the options from argv (without the program name). False with a
    // message in strError for a usage error.
    bool Parse(const QStringList& arrArgs, QString& strError);

    static QString Usage();
    // A usage error as its one line on stderr: the problem, then where help is.
    static QString UsageErrorLine(const QString& strError);
    // "tolvex-cli VERSION, built DATE TIME".
    static QString VersionLine();
};

// The arguments of one command, in any order after it. A number, negative
// ones too, is always a value; "--" ends the options, so that everything after
// it is positional.
class CCommandArgs
{
public:
    explicit CCommandArgs(QStringList arrArgs);

    // Removes the flag when present.
    bool TakeFlag(const QString& strFlag);
    // Removes "--name VALUE" or "--name=VALUE"; false with an error when the
    // value is missing or not an integer in [nMin, nMax].
    bool TakeInt(const QStringList& arrNames, int nMin, int nMax, int& nValue, QString& strError);
    // The remaining arguments, which must be exactly nCount positional ones
    // (any number of them when nCount is negative).
    bool TakePositional(int nCount, QStringList& arrValues, QString& strError);

private:
    QStringList m_arrArgs;  // before "--": options and positional arguments
    QStringList m_arrAfter; // after "--": positional only
};

// Takes "NAME VALUE" or "NAME=VALUE" out of arrArgs, looking only before "--".
// False when NAME stands last, or right before "--", without its value;
// strValue stays unset when NAME is not there.
bool TakeOptionText(QStringList& arrArgs, const QString& strName, std::optional<QString>& strValue);

// Parses a decimal integer in [nMin, nMax]: digits with an optional leading
// minus sign, nothing else.
bool ParseInt(const QString& strText, int nMin, int nMax, int& nValue);
