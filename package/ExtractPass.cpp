// Interim extraction pass: the decoders and the pass that drives them are not part of the library
// yet, so every selected member is reported as having an unsupported method and nothing is
// processed. To be replaced by the real pass over op.catalogue.
#include "Unzip.h"
#include "Utility.h"

namespace tarrow {

void runExtractionPass(Operation &op)
{
    for (size_t i = 0; i < op.catalogue.size(); ++i) {
        op.counters.currentIndex = uint32_t(i);
        raiseWarning(op, TARROW_WARNING_METHOD, "");
    }
}

void extractMemoryMember(Operation &op, const MemberEntry &, const CentralHeader &header)
{
    raiseWarning(op, TARROW_WARNING_METHOD, header.name);
}

} // namespace tarrow
