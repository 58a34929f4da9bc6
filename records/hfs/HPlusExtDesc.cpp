#include "records/hfs/HPlusExtDesc.h"

namespace norix {

HPlusExtDesc HPlusExtDesc::initExtDescWithBlock(ByteView block) { return {block.u32be(0), block.u32be(4)}; }

}  // namespace norix
