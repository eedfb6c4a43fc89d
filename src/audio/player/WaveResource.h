#pragma once

#include <QString>

#include <memory>
#include <stdexcept>

class QIODevice;

namespace tavora::audio {

class ResNotFoundError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Opens the program's own resource `name` of type `type` as a read-only
// stream. Both are compared without regard to case, so "sample" of type
// "wave" finds the resource SAMPLE of type WAVE. Throws ResNotFoundError when
// there is no such resource.
std::unique_ptr<QIODevice> openResourceStream(const QString& name, const QString& type);

} // namespace tavora::audio
