#include <new>

#include "pipwerk/pipwerk.hpp"
#include "roll_record.hpp"

// RollBuffer keeps a RollRecord in its own storage, so the public header
// needs none of the record's types and a roll on the stack stays off the heap.

namespace pipwerk {

RollBuffer::RollBuffer() noexcept { new (storage_) RollRecord; }

RollBuffer::~RollBuffer() { detail::RollBufferAccess::record(*this).~RollRecord(); }

Result<RollView> RollBuffer::roll(std::string_view expression, const RollOptions& options) {
    RollRecord& record = detail::RollBufferAccess::record(*this);
    record.clear();
    if (Result<void> done = roll_into(expression, options, record); !done) return std::unexpected(done.error());
    return record.view();
}

}  // namespace pipwerk
