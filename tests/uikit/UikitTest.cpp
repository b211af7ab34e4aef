#include "uikit/AppPath.h"
#include "uikit/AutoFont.h"
#include "uikit/WBButton.h"

#include <QApplication>
#include <QTest>

namespace {

QImage Strip()
{
    return QImage(CWBButton::BitmapPath(CWBButton::kSkinBitmap))
        .convertToFormat(QImage::Format_RGB32);
}

QColor SliceColor(int nSlice, int x, int y)
{
    return Strip().pixelColor(nSlice * 55 + x, y);
}

QColor At(CWBButton& button, int x, int y)
{
    return button.grab().toImage().convertToFormat(QImage::Format_RGB32).pixelColor(x, y);
}

// Leftmost column holding a dark label pixel, -1 when there is none.
int LabelLeft(CWBButton& button)
{
    const QImage image = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 60)
                return x;
    return -1;
}

} // namespace

class UikitTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_pWindow;
    CWBButton* m_pButton = nullptr;

private Q_SLOTS:
    void init()
    {
        m_pWindow = std::make_unique<QWidget>();
        m_pButton = new CWBButton(m_pWindow.get());
        m_pButton->setGeometry(0, 0, 110, 30);
        m_pButton->setFocusPolicy(Qt::NoFocus);
        m_pWindow->resize(200, 60);
        m_pWindow->show();
        QApplication::setActiveWindow(m_pWindow.get());
        QVERIFY(QTest::qWaitForWindowExposed(m_pWindow.get()));
    }
    void cleanup() { m_pWindow.reset(); }

    void stripIsFiveSlices()
    {
        const QImage strip = Strip();
        QCOMPARE(strip.size(), QSize(275, 22));
        QCOMPARE(strip.pixelColor(0, 0), QColor(255, 0, 255));
    }

    void onlyTheLabelBeforeLoading()
    {
        m_pButton->setText(QStringLiteral("OK"));
        const QColor face = m_pButton->palette().color(QPalette::Button);
        QCOMPARE(At(*m_pButton, 2, 15), face);
        QCOMPARE(At(*m_pButton, 108, 28), face);
        QVERIFY(LabelLeft(*m_pButton) > 0);
        QVERIFY(!m_pButton->IsReady());
    }

    void facesFollowTheState()
    {
        m_pButton->setFocusPolicy(Qt::StrongFocus);
        QVERIFY(m_pButton->LoadStandardSkin());
        QVERIFY(m_pButton->IsReady());
        // The stretched middle shows the middle of the slice.
        QCOMPARE(At(*m_pButton, 55, 15), SliceColor(0, 27, 11));
        m_pButton->setEnabled(false);
        QCOMPARE(At(*m_pButton, 55, 15), SliceColor(2, 27, 11));
        m_pButton->setEnabled(true);
        m_pButton->setFocus();
        QTRY_VERIFY(m_pButton->hasFocus());
        QCOMPARE(At(*m_pButton, 55, 15), SliceColor(3, 27, 11));
        m_pButton->setDown(true);
        QCOMPARE(At(*m_pButton, 55, 15), SliceColor(1, 27, 11));
        // All four faces differ, so the checks above tell them apart.
        QSet<QRgb> centres;
        for (int i = 0; i < 4; ++i)
            centres.insert(SliceColor(i, 27, 11).rgb());
        QCOMPARE(centres.size(), 4);
    }

    void keyColourShowsTheFace()
    {
        QVERIFY(m_pButton->LoadStandardSkin());
        const QColor face = m_pButton->palette().color(QPalette::Button);
        QCOMPARE(At(*m_pButton, 0, 0), face);
        QCOMPARE(At(*m_pButton, 109, 29), face);
        QVERIFY(At(*m_pButton, 55, 15) != face);
    }

    void bordersStayUnscaledOnAWideButton()
    {
        QVERIFY(m_pButton->LoadStandardSkin());
        // Left border 5 and right border 4 pixels wide, copied column for column.
        for (int x = 0; x < 5; ++x)
            QCOMPARE(At(*m_pButton, x, 15), SliceColor(0, x, 11));
        for (int x = 0; x < 4; ++x)
            QCOMPARE(At(*m_pButton, 106 + x, 15), SliceColor(0, 51 + x, 11));
        // Corners unscaled in both directions.
        QCOMPARE(At(*m_pButton, 2, 2), SliceColor(0, 2, 2));
        QCOMPARE(At(*m_pButton, 108, 28), SliceColor(0, 53, 20));
    }

    void pressedLabelMovesRight()
    {
        m_pButton->setText(QStringLiteral("MMMM"));
        m_pButton->setFocusPolicy(Qt::StrongFocus);
        QVERIFY(m_pButton->LoadStandardSkin());
        m_pButton->setFocus();
        QTRY_VERIFY(m_pButton->hasFocus());
        const int nUp = LabelLeft(*m_pButton);
        m_pButton->setDown(true);
        const int nDown = LabelLeft(*m_pButton);
        QVERIFY(nUp > 0);
        // Centred in a rectangle 5 pixels narrower, the label moves by half of it
        // or more, depending on rounding; it must not stay put or move left.
        QVERIFY2(nDown - nUp >= 2 && nDown - nUp <= 3,
                 qPrintable(QStringLiteral("%1 -> %2").arg(nUp).arg(nDown)));
    }

    void disabledLabelIsGrey()
    {
        m_pButton->setText(QStringLiteral("MMMM"));
        QVERIFY(m_pButton->LoadStandardSkin());
        QVERIFY(LabelLeft(*m_pButton) > 0);
        m_pButton->setEnabled(false);
        QCOMPARE(LabelLeft(*m_pButton), -1); // no black left: the label is grey
    }

    void programDirectory()
    {
        QString strDir;
        QVERIFY(CAppPath::DirectoryOf(QStringLiteral("/opt/tolvex/bin/tolvex"), strDir));
        QCOMPARE(strDir, QStringLiteral("/opt/tolvex/bin/"));
        QVERIFY(!CAppPath::DirectoryOf(QStringLiteral("tolvex"), strDir));
        QCOMPARE(strDir, QStringLiteral("tolvex"));
        QVERIFY(CAppPath::GetProgramDirectory(strDir));
        QVERIFY(strDir.endsWith('/'));
        QVERIFY(QCoreApplication::applicationFilePath().startsWith(strDir));
        QVERIFY(CAppPath::DataFolder().endsWith('/'));
    }

    void autoFonts()
    {
        CAutoFont first(QString(40, QLatin1Char('A')));
        QCOMPARE(first.family().size(), CAutoFont::kMaxFaceLen);
        CAutoFont a(QStringLiteral("Serif")), b(QStringLiteral("Serif"));
        QCOMPARE(a.pixelSize(), 12);
        QCOMPARE(a.TextColor(), QColor(Qt::black));
        a.setPixelSize(20);
        a.m_crText = Qt::red;
        QCOMPARE(b.pixelSize(), 12);
        QCOMPARE(b.TextColor(), QColor(Qt::black));
    }
};

QTEST_MAIN(UikitTest)
#include "UikitTest.moc"
