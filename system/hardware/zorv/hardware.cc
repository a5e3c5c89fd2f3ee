#include "system/hardware/zorv/hardware.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>

#include "common/device_model.h"
#include "common/safe_params.h"
#include "common/util.h"

namespace {

const char kBacklightPowerPath[] = "/sys/class/backlight/panel0-backlight/bl_power";
const char kBrightnessPath[] = "/sys/class/backlight/panel0-backlight/brightness";
const char kMaxBrightnessPath[] = "/sys/class/backlight/panel0-backlight/max_brightness";

void write_sysfs(const char *path, const std::string &value) {
  std::ofstream file(path, std::ios::out | std::ios::trunc);
  if (file.is_open())
    file << value;
}

}  // namespace

std::string HardwareZorv::get_name() {
  return device_model_name();
}

void HardwareZorv::set_display_power(bool on) {
  write_sysfs(kBacklightPowerPath, on ? "0\n" : "4\n");
}

void HardwareZorv::set_brightness(int percent) {
  const float max_brightness = std::strtof(util::read_file(kMaxBrightnessPath).c_str(), nullptr);
  // Writing 0 for an unreadable maximum would black out the screen.
  if (!std::isfinite(max_brightness) || max_brightness <= 0)
    return;

  const double value = max_brightness / 100.0 * percent;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    return;
  write_sysfs(kBrightnessPath, std::to_string(static_cast<int>(value)) + "\n");
}

void HardwareZorv::reboot() {
  // Nothing to do about a failure here; the screen keeps offering the reboot.
  const int ret = std::system("sudo reboot");
  (void)ret;
}

bool HardwareZorv::get_ssh_enabled() {
  return SafeParams().getBool("SshEnabled");
}

void HardwareZorv::set_ssh_enabled(bool enabled) {
  SafeParams().putBool("SshEnabled", enabled);
}
