#include "tools/project_writer.h"

#include <algorithm>

namespace testkit {

namespace {

void AppendField(Bytes& out, std::string_view text)
{
    const size_t length = std::min(text.size(), kProjectFieldSize);
    out.insert(out.end(), text.begin(), text.begin() + std::ptrdiff_t(length));
    out.insert(out.end(), kProjectFieldSize - length, 0);
}

} // namespace

Bytes BuildProject(std::string_view name, std::string_view build, const Bytes& scriptImage)
{
    Bytes out;
    out.reserve(2 * kProjectFieldSize + scriptImage.size());
    AppendField(out, name);
    AppendField(out, build);
    out.insert(out.end(), scriptImage.begin(), scriptImage.end());
    return out;
}

} // namespace testkit
