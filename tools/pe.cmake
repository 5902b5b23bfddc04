# Writer of minimal Windows executables with a version resource.
testkit_sources(pe_writer.cpp)
