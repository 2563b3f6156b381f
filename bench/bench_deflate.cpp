// The upload benchmark's peer: compresses a file as one zlib stream with the
// upload's parameters (level -1, method 8, 16 KiB window, memory level 8, the
// default strategy) and nothing else, output thrown away.
#include <zlib.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillex-bench-deflate FILE\n");
        return 2;
    }
    std::FILE* file = std::fopen(argv[1], "rb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> data;
    unsigned char piece[1 << 16];
    for (size_t n; (n = std::fread(piece, 1, sizeof piece, file)) > 0;)
        data.insert(data.end(), piece, piece + n);
    std::fclose(file);
    z_stream s {};
    if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 14, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return 1;
    std::vector<unsigned char> out(deflateBound(&s, uLong(data.size())));
    s.next_in = data.data();
    s.avail_in = uInt(data.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    const int rc = deflate(&s, Z_FINISH);
    std::printf("%lu\n", s.total_out);
    deflateEnd(&s);
    return rc == Z_STREAM_END ? 0 : 1;
}
