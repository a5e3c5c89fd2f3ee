#include "common/device_model.h"

#include "common/util.h"

namespace {

const char kModelPath[] = "/sys/firmware/devicetree/base/model";

// The model text starts with the maker's name and a space.
constexpr size_t kMakerPrefixLength = 6;

}  // namespace

std::string device_model_name() {
  const std::string model = util::read_file(kModelPath);
  return model.size() < kMakerPrefixLength ? std::string() : model.substr(kMakerPrefixLength);
}
