#pragma once

#include "module/ModuleParamRecord.h"
#include "params/ParamRequest.h"

#include <QBrush>
#include <QDialog>

#include <functional>
#include <memory>

class CPageContext;
class QLineEdit;

namespace Ui {
class CAdvancedLinDialog;
}

// "手动线性修正": the linearisation's enable and point count, with eight
// measured and eight weight values, edited in the parameter page's record.
// Its requests go through the page's request slot.
class CAdvancedLinDialog : public QDialog
{
    Q_OBJECT
public:
    // Posts a request of the page; false when the page dropped it.
    using RequestSlot = std::function<bool(ParamRequest::Kind kind)>;

    // Messages go to the context's boxes.
    CAdvancedLinDialog(CPageContext& context, ModuleParamRecord& record, const QBrush& brBackground,
                       RequestSlot request, QWidget* parent = nullptr);
    ~CAdvancedLinDialog() override;

private:
    void ShowVisibility();
    // The eight fields as signed integers, an empty one 0; false, with the
    // page's validation message, at the first that is no such number.
    bool ReadFields(const QList<QLineEdit*>& arrEdits, std::array<qint32, 8>& arrValues);
    QList<QLineEdit*> MeasuredFields() const;
    QList<QLineEdit*> WeightFields() const;

    std::unique_ptr<Ui::CAdvancedLinDialog> m_pUi;
    CPageContext& m_context;
    ModuleParamRecord& m_record;
    RequestSlot m_request;
};
