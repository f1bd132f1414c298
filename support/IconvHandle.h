// IconvHandle: an open iconv conversion (host builds only), closed when its
// owner goes out of scope.
#pragma once
#ifndef _WIN32
#include <iconv.h>

#include <cstdint>

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (IsOpen())
            iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    // iconv_open reports failure as (iconv_t)-1.
    bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1)); }
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};
#endif
