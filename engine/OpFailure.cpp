#include "engine/OpFailure.h"

#include "engine/DVOSUB.h"
#include "engine/ErrorTable.h"
#include "engine/UserTexts.h"

#include <cstdio>

namespace dvo {

std::string Decimal(long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", value);
    return text;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    return dir.back() == '/' ? dir + name : dir + '/' + name;
}

OpResult Failure(int code, const std::string& action, const std::string& path,
                 const std::string& reason) {
    return {code, action + ": " + path + ": " + reason};
}

OpResult FromFileOp(const std::string& action, const std::string& directory,
                    const platform::FileOpError& error, int result) {
    using Kind = platform::FileOpFailure;
    std::string reason;
    int code = OperationCodeOf(result);
    switch (error.kind) {
    case Kind::MountPoint: reason = texts::kOtherFileSystem; break;
    case Kind::IntoItself: reason = texts::kIntoItself; break;
    case Kind::Attribute:
        reason = texts::kAttributePrefix + error.attribute + texts::kAttributeSuffix +
                 ReasonText(result);
        break;
    case Kind::ChangedDuringMove:
        // What changed stays at the source: no loss, but not a name taken at the target.
        reason = texts::kChangedDuringMove;
        code = DVO_E_IO;
        break;
    case Kind::None:
    case Kind::Call:
    case Kind::Cancelled: reason = ReasonText(result); break;
    }
    return Failure(code, action, JoinPath(directory, error.path), reason);
}

} // namespace dvo
