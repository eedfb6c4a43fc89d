#include "shell/report/Report.h"

#include "BuildConfig.h"
#include "audio/devices/DeviceLists.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace tavora {

StoredDevice pickStoredDevice(CheckResult& result, const QStringList& devices,
                               const std::vector<std::string>& names, std::int32_t stored,
                               const std::string& storedName) {
    using tavora::audio::StoredChoice;
    const StoredChoice choice =
        tavora::audio::findStoredDevice(stored, storedName, int(devices.size()), names);
    result.figures["stored_device"] = stored;
    result.figures["device"] = choice.Entry;
    result.figures["device_name"] = devices[choice.Entry];
    return {static_cast<std::uint32_t>(choice.Entry), choice.Match != StoredChoice::Default};
}

bool Report::ok() const {
    for (const CheckResult& check : checks_)
        if (!check.ok)
            return false;
    return true;
}

QString Report::text() const {
    QString text;
    for (const CheckResult& check : checks_)
        text += QString("%1  %2  %3\n")
                    .arg(check.ok ? "PASS" : "FAIL", check.name.leftJustified(10), check.detail);
    text += ok() ? "Ready: every check passed.\n" : "Not ready: see the failed checks above.\n";
    return text;
}

QByteArray Report::json() const {
    QJsonArray checks;
    for (const CheckResult& check : checks_)
        checks.append(QJsonObject{
            {"name", check.name}, {"ok", check.ok}, {"detail", check.detail}, {"figures", check.figures}});
    const QJsonObject root{{"tool", "tavora-wizard"},
                           {"version", QString::fromUtf8(BuildConfig::Version)},
                           {"ok", ok()},
                           {"checks", checks}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

} // namespace tavora
