#include "link/LinkLog.h"

// Warnings and above only unless the rules say otherwise.
Q_LOGGING_CATEGORY(lcLink, "tolvex.link", QtWarningMsg)
