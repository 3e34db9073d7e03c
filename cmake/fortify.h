/* Read before every source file of the game (-include). Fortified libc calls at the level that the
   compiler or the build's flags already ask for (Ubuntu's compiler predefines 3, distributions pass
   2 or 3 in CPPFLAGS or CXXFLAGS), else at level 2. glibc fortifies only optimised code: without
   optimisation (a Debug build) a given level would do nothing but warn, so it is taken back. The
   sanitizers' build adds none: their own checks are finer, and fortified calls bypass them. */
#if !defined(__OPTIMIZE__)
#undef _FORTIFY_SOURCE
#elif !defined(_FORTIFY_SOURCE) && !defined(OUTBREAK_SANITIZE)
#define _FORTIFY_SOURCE 2
#endif
