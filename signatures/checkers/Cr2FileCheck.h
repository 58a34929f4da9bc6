#pragma once
// Canon CR2 raw images: the walk of RawImageFormat, the first IFD's strip being the
// full-size JPEG and the last strip the end of the raw data.

#include "signatures/checkers/RawImageFormat.h"

namespace norix {

class Cr2FileCheck : public RawImageFormat {
public:
    std::shared_ptr<Checker> clone() const override { return std::make_shared<Cr2FileCheck>(*this); }
    std::optional<std::string> parentKey() const override { return "cr2"; }
    uint8_t firstByteOfHeader() const override { return 0x49; }
};

}  // namespace norix
