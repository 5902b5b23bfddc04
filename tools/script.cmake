# Script assembler: writes script images from their text form.
testkit_sources(script_assembler.cpp)
# The "project" resource: the project record before the "Main" script image.
testkit_sources(project_writer.cpp)
