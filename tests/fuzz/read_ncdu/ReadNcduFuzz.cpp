// Any bytes as an ncdu export: reading must end in a tree or a refusal with an offset inside the
// input, never a crash. A tree read must write out and read back to the same folders and entries,
// and our own export of it must read back exactly (a gdu export's uncounted later links have no
// way into the format, so only the second generation is compared whole).
#include "engine/NcduFormat.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// Each folder's path, state, totals and counts, and each entry's name and both figures, in record
// order.
std::string Shape(const dvo::ScanResult& r, bool totals) {
    std::string out = r.path + "\n";
    std::vector<const dvo::Dir*> stack{r.root};
    while (!stack.empty()) {
        const dvo::Dir* d = stack.back();
        stack.pop_back();
        out += std::to_string(static_cast<int>(d->state)) + " " +
               (totals ? std::to_string(d->total) + "/" + std::to_string(d->diskTotal) : "") + " " +
               std::to_string(d->folderCount) + " " + std::to_string(d->fileCount) + ":";
        for (std::uint32_t i = d->childCount; i-- > 0;) {
            const dvo::Node& n = d->children[i];
            out.append(n.Name());
            out += n.IsFolder()
                       ? "/"
                       : " " + std::to_string(n.size) + "/" + std::to_string(n.diskSize) + ",";
            if (n.IsFolder()) {
                stack.push_back(n.dir);
            }
        }
        out += "\n";
    }
    return out;
}

std::unique_ptr<dvo::ScanResult> Read(std::FILE* f, std::size_t size, dvo::NcduReadError& error,
                                      std::size_t chunk = dvo::kNcduReadChunk) {
    auto result = dvo::ReadNcdu(f, error, chunk);
    if (result == nullptr && (error.offset > size || error.reason.empty())) {
        std::abort(); // a refusal must say where and why
    }
    return result;
}

std::unique_ptr<dvo::ScanResult> Read(std::FILE* f, std::size_t size) {
    dvo::NcduReadError error;
    return Read(f, size, error);
}

std::FILE* Open(const uint8_t* data, size_t size) {
    std::FILE* in = size == 0 ? std::fopen("/dev/null", "rb")
                              : ::fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (in == nullptr) {
        std::abort();
    }
    return in;
}

} // namespace

namespace {

std::unique_ptr<dvo::ScanResult> WrittenAndRead(const dvo::ScanResult& r) {
    const int fd = ::memfd_create("read_ncdu", MFD_CLOEXEC);
    if (fd < 0 || !dvo::WriteNcdu(r, nullptr, fd, 0) || ::lseek(fd, 0, SEEK_SET) != 0) {
        std::abort();
    }
    std::FILE* f = ::fdopen(fd, "rb");
    auto again = Read(f, SIZE_MAX);
    std::fclose(f);
    if (again == nullptr) {
        std::abort(); // we wrote something we cannot read
    }
    return again;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* in = Open(data, size);
    dvo::NcduReadError error;
    const auto first = Read(in, size, error);
    std::fclose(in);
    // Read in small chunks, every token is cut somewhere: the same tree or the same refusal.
    in = Open(data, size);
    dvo::NcduReadError chunkedError;
    const auto chunked = Read(in, size, chunkedError, 1 + (size > 0 ? data[size - 1] % 7 : 0));
    std::fclose(in);
    if ((first == nullptr) != (chunked == nullptr) || error.offset != chunkedError.offset ||
        error.reason != chunkedError.reason ||
        (first != nullptr && Shape(*first, true) != Shape(*chunked, true))) {
        std::abort();
    }
    if (first == nullptr) {
        return 0;
    }
    const auto second = WrittenAndRead(*first);
    const auto third = WrittenAndRead(*second);
    if (Shape(*first, false) != Shape(*second, false) ||
        Shape(*second, true) != Shape(*third, true)) {
        std::abort();
    }
    return 0;
}
