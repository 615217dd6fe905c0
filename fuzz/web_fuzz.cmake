td_add_fuzz(web SOURCES web_fuzz.cpp LIBS tdweb)
