#pragma once

#include "terminal/vbs/VbsValue.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// One instruction of the stack machine a VBScript program compiles to.
enum class EVbsOp : quint8
{
    Statement,   // a: line, b: column; checks the stop word
    PushConst,   // a: constant
    LoadName,    // a: name (resolved after parsing into one of the next five)
    LoadLocal,   // a: slot
    LoadGlobal,  // a: slot
    StoreName,   // a: name
    StoreLocal,  // a: slot
    StoreGlobal, // a: slot
    Undefined,   // a: name; variable is undefined
    CallName,    // a: name, b: argument count (resolved after parsing)
    CallMember,  // a: name, b: argument count; a member of ScriptControlMacro
    CallUser,    // a: procedure, b: argument count
    CallBuiltin, // a: built-in, b: argument count
    CallHost,    // a: name, b: argument count
    NotCallable, // a: name; calling a variable
    Unary,       // a: CVbsOperators::EUnary
    Binary,      // a: CVbsOperators::EBinary
    Pop,
    Jump,        // a: target
    JumpIfFalse, // a: target
    JumpIfTrue,  // a: target
    ForPrepare,  // a: first of two hidden slots (end, step); pops step and end
    ForTest,     // a: hidden slots, b: exit target; pops the counter
    ForStep,     // a: hidden slots; replaces the counter by counter + step
    Return,
};

struct VbsOp
{
    EVbsOp eOp;
    qint32 nA = 0;
    qint32 nB = 0;
};

struct VbsProcedure
{
    QString strName; // as written; empty for the top-level code
    bool bFunction = false;
    int nParams = 0;
    // Lower-case name -> local slot: 0 is the function's value, 1.. the parameters.
    QHash<QString, int> hashLocals;
    QHash<QString, int> hashConsts; // lower-case name -> constant
    int nSlots = 1;
    int nHidden = 0; // slots of For loops, after the named ones
    std::vector<VbsOp> arrCode;
};

// A compiled script: procedure 0 is the top-level code, whose slots are the globals.
struct VbsProgram
{
    bool bExplicit = false;
    std::vector<VbsProcedure> arrProcedures;
    QHash<QString, int> hashProcedures; // lower-case name -> procedure
    std::vector<CVbsValue> arrConsts;
    QStringList arrNames; // names as first written
};
