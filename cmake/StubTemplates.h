// Included first in every file of the installer stub (-include, see the top
// CMakeLists.txt). The standard library's headers declare the members of
// std::string and its kin as compiled into the library, whose copies are
// built with exceptions and carry their unwind tables, and link the
// exception machinery into the stub. With those declarations off, the
// compiler instantiates the members the stub uses in the stub's own objects,
// compiled as the rest of it (without exceptions), and the link keeps only
// those.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
