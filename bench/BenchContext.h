#pragma once

#include "link/BusLink.h"
#include "uikit/PageContext.h"

#include <QBrush>
#include <QTemporaryDir>

#include <cstdio>

// A window for one page in a bench: its own link (to strDevice, when given),
// a temporary program folder, status texts dropped and messages on stderr.
class CBenchContext : public CPageContext
{
public:
    explicit CBenchContext(const QString& strDevice = QString())
    {
        if (!strDevice.isEmpty())
            m_link.SetDeviceResolver([strDevice](int) { return strDevice; });
    }
    CBusLink& BusLink() override { return m_link; }
    PlotSettings GetPlotSettings() const override { return PlotSettings(); }
    QBrush BackgroundBrush() const override { return QBrush(QColor(0xB0, 0xC0, 0xFF)); }
    QString ProgramDirectory() const override { return m_dir.path() + QLatin1Char('/'); }

protected:
    void DoSetStatusText(const QString&) override {}
    void DoShowMessage(const QString& strText) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(strText));
    }

private:
    CBusLink m_link;
    QTemporaryDir m_dir;
};
