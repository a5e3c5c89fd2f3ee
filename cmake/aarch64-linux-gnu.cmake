# Cross-build for the device (AArch64) with Debian's multiarch: the cross compiler from
# crossbuild-essential-arm64, the :arm64 libraries beside the host's, the host's moc and rcc
# (qtbase5-dev:arm64 points at them), and qemu's user emulation to run what is built
# (through aarch64-emulator.py, which keeps Qt's child processes working under it).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for the target")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/aarch64-emulator.py)
