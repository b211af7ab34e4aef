#pragma once

#include "terminal/vbs/VbsValue.h"

#include <QHash>
#include <QMetaMethod>

class QObject;

// Calls the macro object's Q_INVOKABLE methods by name, case-insensitively,
// converting arguments to the parameter types (QString, int, double, bool) and
// the result back (bool to Boolean, void to Empty).
class CVbsHostCall
{
public:
    explicit CVbsHostCall(QObject* pObject);
    // Throws VbsRuntimeError: 13 when there is no such method, 450 for a wrong
    // argument count, conversion errors.
    CVbsValue Call(const QString& strName, const CVbsValue* pArguments, int nArguments);

private:
    static QVariant Argument(const CVbsValue& value, int nType);
    static CVbsValue Result(const QVariant& result);

    QObject* m_pObject;
    QHash<QString, QMetaMethod> m_hashMethods; // lower-case name
};
