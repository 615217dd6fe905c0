td_add_fuzz(follow SOURCES follow_fuzz.cpp)
