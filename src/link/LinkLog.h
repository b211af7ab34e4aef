#pragma once

#include <QLoggingCategory>

// "tolvex.link": opens with their settings, refused settings, frames sent,
// replies completed and why, stale input dropped, hang-ups. Off by default;
// QT_LOGGING_RULES="tolvex.link.debug=true" or tolvex-cli -v turn it on.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
