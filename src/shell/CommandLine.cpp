#include "shell/CommandLine.h"

#include <limits>

namespace tavora {

int32_t strToIntDef(const QString& text, int32_t fallback) {
    QString digits = text.trimmed();
    if (digits.isEmpty() || digits != text)
        return fallback;
    bool negative = false;
    if (digits.startsWith('-') || digits.startsWith('+')) {
        negative = digits.startsWith('-');
        digits.remove(0, 1);
    }
    int base = 10;
    if (digits.startsWith('$')) {
        base = 16;
        digits.remove(0, 1);
    } else if (digits.startsWith("0x", Qt::CaseInsensitive)) {
        base = 16;
        digits.remove(0, 2);
    }
    if (digits.isEmpty() || digits.startsWith('+') || digits.startsWith('-'))
        return fallback;
    bool ok = false;
    const qulonglong magnitude = digits.toULongLong(&ok, base);
    if (!ok)
        return fallback;
    // Hexadecimal text names a 32-bit pattern (window ids are printed that way),
    // so 0xFFFFFFFF is -1 as a signed value; decimal text must fit the signed range.
    if (base == 16 && !negative && magnitude <= std::numeric_limits<uint32_t>::max())
        return static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    const long long value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (magnitude > qulonglong(std::numeric_limits<int64_t>::max()) ||
        value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return fallback;
    return static_cast<int32_t>(value);
}

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine result;
    result.audioOnlyMode = !arguments.isEmpty() && arguments.first().toLower() == QLatin1String("audio");
    const int n = result.audioOnlyMode ? 2 : 1; // one-based, as the arguments are counted
    auto argument = [&](int index) { return index <= arguments.size() ? arguments[index - 1] : QString(); };
    result.notifyMessage = strToIntDef(argument(n), 0);
    result.notifyWindow = strToIntDef(argument(n + 1), 0);
    return result;
}

} // namespace tavora
