td_add_fuzz(xls SOURCES xls_fuzz.cpp)
