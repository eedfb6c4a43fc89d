#pragma once

#include <QLoggingCategory>

namespace tavora {

Q_DECLARE_LOGGING_CATEGORY(lcPlayer)

} // namespace tavora
