// A PayloadWriter sink that gathers the compressed bytes in a string.
#pragma once
#include <string>

#include "payload/PayloadWriter.h"

class StringSink : public PayloadWriter::Sink {
public:
    bool Put(const uint8_t* data, size_t length) override
    {
        bytes.append(reinterpret_cast<const char*>(data), length);
        return true;
    }
    std::string bytes;
};
