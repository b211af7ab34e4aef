#include "terminal/vbs/VbsHostCall.h"

#include "terminal/vbs/VbsRuntimeError.h"

#include <QObject>
#include <QVariant>

#include <array>

CVbsHostCall::CVbsHostCall(QObject* pObject) : m_pObject(pObject)
{
    if (!m_pObject)
        return;
    const QMetaObject* pMeta = m_pObject->metaObject();
    for (int i = 0; i < pMeta->methodCount(); ++i) {
        const QMetaMethod method = pMeta->method(i);
        if (method.methodType() == QMetaMethod::Method && method.access() == QMetaMethod::Public)
            m_hashMethods.insert(QString::fromLatin1(method.name()).toLower(), method);
    }
}

CVbsValue CVbsHostCall::Call(const QString& strName, const CVbsValue* pArguments, int nArguments)
{
    const auto it = m_hashMethods.constFind(strName.toLower());
    if (it == m_hashMethods.constEnd())
        throw VbsRuntimeError::TypeMismatch(strName);
    const QMetaMethod& method = *it;
    constexpr int kMaxArguments = 10;
    if (method.parameterCount() != nArguments || nArguments > kMaxArguments)
        throw VbsRuntimeError::WrongArgumentCount(strName);
    std::array<QVariant, kMaxArguments> arrValues;
    std::array<QGenericArgument, kMaxArguments> arrArguments;
    for (int i = 0; i < nArguments; ++i) {
        arrValues[size_t(i)] = Argument(pArguments[i], method.parameterType(i));
        arrArguments[size_t(i)] =
            QGenericArgument(arrValues[size_t(i)].typeName(), arrValues[size_t(i)].constData());
    }
    QVariant result;
    QGenericReturnArgument returnArgument;
    if (method.returnType() != QMetaType::Void) {
        result = QVariant(method.returnMetaType());
        returnArgument = QGenericReturnArgument(method.typeName(), result.data());
    }
    method.invoke(m_pObject, Qt::DirectConnection, returnArgument, arrArguments[0], arrArguments[1],
                  arrArguments[2], arrArguments[3], arrArguments[4], arrArguments[5],
                  arrArguments[6], arrArguments[7], arrArguments[8], arrArguments[9]);
    return Result(result);
}

QVariant CVbsHostCall::Argument(const CVbsValue& value, int nType)
{
    switch (nType) {
    case QMetaType::QString:
        return value.ToText();
    case QMetaType::Int:
        return value.ToLong();
    case QMetaType::Double:
        return value.ToDouble();
    case QMetaType::Bool:
        return value.ToCondition();
    default:
        throw VbsRuntimeError::TypeMismatch();
    }
}

CVbsValue CVbsHostCall::Result(const QVariant& result)
{
    switch (result.typeId()) {
    case QMetaType::Bool:
        return CVbsValue::FromBool(result.toBool());
    case QMetaType::Int:
        return CVbsValue::FromLong(result.toInt());
    case QMetaType::Double:
        return CVbsValue::FromDouble(result.toDouble());
    case QMetaType::QString:
        return CVbsValue::FromString(result.toString());
    default:
        return CVbsValue();
    }
}
