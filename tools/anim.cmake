# Writer of the animation library's actor and motion files.
testkit_sources(anim_file_writer.cpp mobile_actor_writer.cpp)
