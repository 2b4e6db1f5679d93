// Feeds arbitrary standard input to the start record reader: framing, strict parsing, the host
// identity and the record's own checks. Whatever the parser accepts is well-formed UTF-8; the
// lease numbers are read under a decimal-comma locale too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "native_protocol/authorization/start_record.h"
#include "native_protocol/framing.h"
#include "support/fuzz_oracles.h"

namespace {

using namespace vornakel::native_protocol;

// Hands the input out in small pieces so that framing across reads is exercised too.
class FuzzSource final : public ByteSource {
 public:
  FuzzSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  vornakel::Result<std::span<const uint8_t>> fill() override {
    const size_t piece = std::min<size_t>(size_ - position_, 7);
    return std::span<const uint8_t>(data_ + position_, piece);
  }
  void consume(size_t count) override { position_ += count; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vornakel::fuzz::adopt_environment_locale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSource source(data, size);
  ReadOutcome outcome = read_framed_line(source, kStartRecordBound);
  const auto* line = std::get_if<Line>(&outcome);
  // The whole input, framed or not, also goes to the parser directly.
  const std::string whole(reinterpret_cast<const char*>(data), size);
  for (const std::string* text : {line != nullptr ? &line->bytes : nullptr, &whole}) {
    if (text == nullptr) continue;
    auto start = parse_start(*text);
    if (!start.ok()) continue;
    vornakel::fuzz::require(vornakel::fuzz::is_well_formed_utf8(*text),
                            "an accepted start record is well-formed UTF-8");
    (void)check_host_identity(input_host_identity(start.value()));
    (void)check_start(start.value(), 1'800'000'000);
  }
  return 0;
}
