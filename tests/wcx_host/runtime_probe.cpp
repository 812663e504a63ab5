// A DLL with nothing but the statically linked C and C++ runtimes, linked
// like the plug-in. What its loading and unloading costs in handles is the
// runtime's (the 32-bit one keeps a semaphore of its unwinder's frame
// registration per load), not the plug-in's.
#include <stdexcept>
#include <string>

extern "C" __declspec(dllexport) int runtime_probe(int n) {
    try {
        if (n < 0) throw std::invalid_argument("negative");
        return static_cast<int>(std::string(static_cast<size_t>(n), 'x').size());
    } catch (const std::exception&) {
        return -1;
    }
}
