td_add_fuzz(line SOURCES line_fuzz.cpp)
