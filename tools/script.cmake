# Script assembler: writes script images from their text form.
testkit_sources(script_assembler.cpp)
