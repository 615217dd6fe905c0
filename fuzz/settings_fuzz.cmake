td_add_fuzz(settings SOURCES settings_fuzz.cpp)
