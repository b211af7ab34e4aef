#pragma once

#include <QBrush>
#include <QString>
#include <QWidget>

class QTabBar;

// The tab control that hosts the pages: a tab bar on top and the pages below
// it, one shown at a time. The pages are owned by the caller; the tab sheet
// only parents, places, shows and hides them.
class CTabSheet : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxPages = 16;

    explicit CTabSheet(QWidget* parent = nullptr);

    // False when kMaxPages pages are present already; nothing is stored then.
    bool AddTabPage(const QString& strTitle, QWidget* pPage, int nTemplateId);
    // Parents every added page to the sheet, adds its tab, shows page 0 and
    // hides the rest.
    void CreatePages();
    // Places all pages in the area under the tabs.
    void PlacePages();
    void SetTabBrush(const QBrush& brBackground);

    int PageCount() const { return m_nPageCount; }
    int CurrentPage() const { return m_nCurPage; }
    QWidget* Page(int nIndex) const;
    int TemplateId(int nIndex) const;
    QTabBar* TabBar() const { return m_pTabBar; }

Q_SIGNALS:
    // The shown page was hidden; the next one is not shown yet.
    void PageHidden(int nIndex);
    void PageChanged(int nIndex);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // A click and a keyboard selection both end here.
    void OnCurrentChanged(int nIndex);

    QTabBar* m_pTabBar;
    QString m_arrTitles[kMaxPages];
    int m_arrTemplates[kMaxPages] = {};
    QWidget* m_arrPages[kMaxPages] = {};
    int m_nPageCount = 0;
    int m_nCurPage = 0;
    bool m_bCreated = false;
    QBrush m_brBackground;
};
