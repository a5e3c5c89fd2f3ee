#pragma once

#include <string>

// Device-specific operations of the vehicle unit.
class HardwareZorv {
public:
  static std::string get_name();
  static void set_display_power(bool on);
  static void set_brightness(int percent);
  static void reboot();

  static bool get_ssh_enabled();
  static void set_ssh_enabled(bool enabled);
};
