/* The Adler-32 sum for the stub's own build of zlib's inflate, in place of
 * zlib's adler32.c: the same sum, in a plain loop instead of zlib's unrolled
 * one, a few dozen bytes instead of some 700. The stub turns the check off
 * (RCDecompress calls inflateValidate with 0), so inflate asks for the sum
 * only for its starting value; were the check turned on, this would still
 * compute the right sum, only more slowly. */
#include "zlib.h"

#define QM_ADLER_BASE 65521UL /* the largest prime below 65536 */

uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len)
{
    uLong sum1 = adler & 0xffffUL;
    uLong sum2 = (adler >> 16) & 0xffffUL;
    if (buf == Z_NULL)
        return 1UL;
    while (len-- != 0) {
        sum1 = (sum1 + *buf++) % QM_ADLER_BASE;
        sum2 = (sum2 + sum1) % QM_ADLER_BASE;
    }
    return (sum2 << 16) | sum1;
}
