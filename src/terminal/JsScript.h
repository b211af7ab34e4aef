#pragma once

#include "terminal/vbs/ScriptError.h"

#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

class QJSEngine;
class QObject;

// A JavaScript run on a QJSEngine made for it on the calling thread. The
// macro object is the global "ScriptControlMacro" and its methods are global
// functions too; there is no other host object. The engine compiles the whole
// text before it runs any of it.
class CJsScript
{
public:
    static constexpr unsigned kSyntaxError = 1002;
    static constexpr unsigned kRunTimeError = 1;

    // nullopt when the script ran to its end or was interrupted.
    std::optional<ScriptError> Run(const QString& strText, QObject* pMacro,
                                   const std::atomic<bool>& bStop);
    // Any thread: a running script ends at its next instruction (a macro it
    // is inside returns first).
    void Interrupt();

private:
    std::mutex m_mutex;
    QJSEngine* m_pEngine = nullptr;
};
