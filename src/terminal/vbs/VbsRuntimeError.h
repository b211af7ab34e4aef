#pragma once

#include <QString>

// Thrown by value operations and calls while a VBScript program runs; the
// interpreter adds the statement's position.
struct VbsRuntimeError
{
    unsigned nNumber = 0;
    QString strDescription;

    static VbsRuntimeError InvalidCall(const QString& strName)
    {
        return {5, QStringLiteral("Invalid procedure call or argument: '%1'").arg(strName)};
    }
    static VbsRuntimeError Overflow() { return {6, QStringLiteral("Overflow")}; }
    static VbsRuntimeError DivisionByZero() { return {11, QStringLiteral("Division by zero")}; }
    static VbsRuntimeError TypeMismatch() { return {13, QStringLiteral("Type mismatch")}; }
    static VbsRuntimeError TypeMismatch(const QString& strName)
    {
        return {13, QStringLiteral("Type mismatch: '%1'").arg(strName)};
    }
    static VbsRuntimeError OutOfMemory(qsizetype nChars)
    {
        return {7, QStringLiteral("Out of memory: strings over %1 characters").arg(nChars)};
    }
    static VbsRuntimeError StepBudget(qint64 nSteps)
    {
        return {
            17,
            QStringLiteral("Can't perform requested operation: more than %1 steps").arg(nSteps)};
    }
    static VbsRuntimeError OutOfStringSpace()
    {
        return {14, QStringLiteral("Out of string space")};
    }
    static VbsRuntimeError OutOfStackSpace() { return {28, QStringLiteral("Out of stack space")}; }
    static VbsRuntimeError WrongArgumentCount(const QString& strName)
    {
        return {450,
                QStringLiteral("Wrong number of arguments or invalid property assignment: '%1'")
                    .arg(strName)};
    }
    static VbsRuntimeError Undefined(const QString& strName)
    {
        return {500, QStringLiteral("Variable is undefined: '%1'").arg(strName)};
    }
};
