// The upload benchmark's peer: the file read once into memory of its size,
// then compressed by deflate calls over it as one zlib stream at the upload's
// settings (level -1, method 8, 16 KiB window, memory level 8, the default
// strategy) into room for the whole result. --flush OFFSETS: a full flush at
// each byte offset listed in that file (one a line), where the upload puts
// its start-from points. -o OUT writes the compressed bytes, so that the
// benchmark can check them against the upload's own.
#include <zlib.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

int Fail(const char* what)
{
    std::perror(what);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const char* input = nullptr;
    const char* output = nullptr;
    std::vector<size_t> flushes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else if (std::strcmp(argv[i], "--flush") == 0 && i + 1 < argc) {
            std::FILE* list = std::fopen(argv[++i], "r");
            if (!list)
                return Fail(argv[i]);
            for (uintmax_t offset; std::fscanf(list, "%" SCNuMAX, &offset) == 1;)
                flushes.push_back(size_t(offset));
            std::fclose(list);
        } else if (!input) {
            input = argv[i];
        } else {
            input = nullptr;
            break;
        }
    }
    if (!input) {
        std::fprintf(stderr, "usage: quillex-bench-deflate FILE [--flush OFFSETS] [-o OUT]\n");
        return 2;
    }
    const int fd = ::open(input, O_RDONLY | O_CLOEXEC);
    struct stat info { };
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return Fail(input);
    const size_t size = size_t(info.st_size);
    auto* data = static_cast<unsigned char*>(std::malloc(size ? size : 1));
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n <= 0)
            return Fail(input);
        done += size_t(n);
    }
    ::close(fd);

    z_stream s {};
    if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 14, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return 1;
    // A full flush adds an empty stored block and ends the current one.
    const uLong room = deflateBound(&s, uLong(size)) + 64 * flushes.size();
    auto* out = static_cast<unsigned char*>(std::malloc(room));
    s.next_in = data;
    s.next_out = out;
    s.avail_out = uInt(room);
    size_t from = 0;
    for (const size_t offset : flushes) {
        if (offset < from || offset > size) {
            std::fprintf(stderr, "quillex-bench-deflate: flush offset %zu out of order or past the end\n", offset);
            return 1;
        }
        s.avail_in = uInt(offset - from);
        if ((offset > from && deflate(&s, Z_NO_FLUSH) != Z_OK) || deflate(&s, Z_FULL_FLUSH) != Z_OK || s.avail_in)
            return 1;
        from = offset;
    }
    s.avail_in = uInt(size - from);
    const int rc = deflate(&s, Z_FINISH);
    const uLong total = s.total_out;
    deflateEnd(&s);
    if (rc != Z_STREAM_END)
        return 1;
    if (output) {
        std::FILE* file = std::fopen(output, "wb");
        if (!file || std::fwrite(out, 1, total, file) != total || std::fclose(file) != 0)
            return Fail(output);
    }
    std::free(out);
    std::free(data);
    return 0;
}
