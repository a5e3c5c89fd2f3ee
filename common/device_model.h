#pragma once

#include <string>

// The device's model name from its device tree, without the maker's name: empty when the tree
// gives none. Here rather than with the device operations so that the log sink can name the
// device without depending on them.
std::string device_model_name();
