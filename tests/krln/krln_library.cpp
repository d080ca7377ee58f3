// Loads dist/krln64.dll once and looks up its natives (see krln_library.h).
#include "krln_library.h"

#include "test_support.h"

namespace {

template <class Function>
void lookUp(KrlnLibrary& library, Function& function, const char* name) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library.module, name)));
    if (!function) library.missing += std::string(library.missing.empty() ? "" : " ") + name;
}

KrlnLibrary load() {
    KrlnLibrary library;
    library.module = LoadLibraryA(testing_support::DistFile("krln64.dll").c_str());
    if (!library.module) return library;
    lookUp(library, library.n_alloc, "Java_com_qzvltd_tarnwick_util_wmb_n_1alloc");
    lookUp(library, library.n_realloc, "Java_com_qzvltd_tarnwick_util_wmb_n_1realloc");
    lookUp(library, library.n_free, "Java_com_qzvltd_tarnwick_util_wmb_n_1free");
    lookUp(library, library.n_cap, "Java_com_qzvltd_tarnwick_util_wmb_n_1cap");
    lookUp(library, library.n_read, "Java_com_qzvltd_tarnwick_util_wmb_n_1read");
    lookUp(library, library.n_write, "Java_com_qzvltd_tarnwick_util_wmb_n_1write");
    lookUp(library, library.n_readi, "Java_com_qzvltd_tarnwick_util_wmb_n_1readi");
    lookUp(library, library.n_writei, "Java_com_qzvltd_tarnwick_util_wmb_n_1writei");
    lookUp(library, library.applyIcon, "Java_com_qzvltd_tarnwick_util_wtb_applyIcon");
    lookUp(library, library.gpd, "Java_com_qzvltd_tarnwick_util_wtb_gpd");
    lookUp(library, library.grd, "Java_com_qzvltd_tarnwick_util_wtb_grd");
    return library;
}

}  // namespace

const KrlnLibrary& Krln() {
    static const KrlnLibrary library = load();
    return library;
}
