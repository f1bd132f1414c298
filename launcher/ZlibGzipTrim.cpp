// The stub inflates zlib-format streams only: inflateInit expects the zlib
// header, and a stream with that header is checked with Adler-32. zlib's
// inflate also names crc32 for the gzip paths, which such a stream never
// reaches (a gzip header is refused before any output). This definition
// stands in for it, so that zlib's CRC code and its 8 KB of tables stay out
// of the stub. It is linked into stub programs only.
#include <zlib.h>

extern "C" uLong crc32(uLong crc, const Bytef*, uInt)
{
    return crc;
}
