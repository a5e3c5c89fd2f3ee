// Parameter keys and values of any bytes: a key that is a plain file name stores the whole value
// and reads it back; every other key is refused; and nothing is ever left behind, or written
// anywhere but the store's own folder.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "common/params.h"
#include "fuzz/fuzz_support.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder on tmpfs (each write is flushed to disk twice), holding only the store.
fs::path scratch;

std::set<std::string> entriesUnder(const fs::path &dir) {
  std::set<std::string> entries;
  for (const fs::directory_entry &entry : fs::recursive_directory_iterator(dir)) {
    entries.insert(entry.path().lexically_relative(dir).string());
  }
  return entries;
}

// Keys are file names in the store's key folder.
bool isFileName(const std::string &key) {
  return !key.empty() && key != "." && key != ".." && key.find('/') == std::string::npos &&
         key.find('\0') == std::string::npos && key.size() <= NAME_MAX;
}

void removeScratch() {
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::keepOffTheDevice();
  std::string tmpl = fs::exists("/dev/shm") ? "/dev/shm/params-fuzz.XXXXXX" : "/tmp/params-fuzz.XXXXXX";
  if (mkdtemp(tmpl.data()) == nullptr) {
    perror("mkdtemp");
    abort();
  }
  scratch = tmpl;
  atexit(removeScratch);
  // The lock file comes with the first write; every input starts from a store that has one.
  Params params((scratch / "params").string());
  if (params.put("primed", "") != 0 || params.remove("primed") != 0) {
    abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string key = input.ConsumeRandomLengthString(300);
  const std::string value = input.ConsumeRemainingBytesAsString();

  Params params((scratch / "params").string());
  const std::set<std::string> before = entriesUnder(scratch);
  const int put = params.put(key, value);
  if (isFileName(key)) {
    fuzz::check(put == 0, QStringLiteral("put of a file name"));
    fuzz::check(params.get(key) == value, QStringLiteral("value reads back whole"));
    std::set<std::string> expected = before;
    expected.insert((fs::canonical(params.getParamPath()) / key).lexically_relative(scratch).string());
    fuzz::check(entriesUnder(scratch) == expected, QStringLiteral("one file, in the key folder"));
    fuzz::check(params.remove(key) == 0, QStringLiteral("remove"));
  } else {
    fuzz::check(put == -1, QStringLiteral("refused key"));
    fuzz::check(params.get(key).empty() && params.remove(key) == -1, QStringLiteral("nothing under a refused key"));
  }
  fuzz::check(entriesUnder(scratch) == before, QStringLiteral("nothing left behind"));
  return 0;
}
