// A PayloadWriter sink that appends the compressed bytes to an open file
// (which stays its owner's to close).
#pragma once
#include <cstdio>

#include "payload/PayloadWriter.h"

class FileSink : public PayloadWriter::Sink {
public:
    explicit FileSink(std::FILE* f) : f_(f) {}
    bool Put(const uint8_t* data, size_t length) override { return std::fwrite(data, 1, length, f_) == length; }

private:
    std::FILE* f_;
};
