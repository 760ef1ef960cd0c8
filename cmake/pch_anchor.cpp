// The precompiled header of cmake/PrecompiledHeaders.cmake needs a target to be built in; this is
// its only source.
