# Writes OUTPUT, a C++ source with the factory voice files as text, from the
# FILES (a ;-list) given with -D: the programs read the very files the LV2
# presets are made from.
set(text "// Made by embed_voices.cmake from tools/settings/voices: edit those.\n")
string(APPEND text "#include \"voice_library.h\"\n\nconst FactoryVoice FactoryVoices[] = {\n")
set(count 0)
foreach(file ${FILES})
  get_filename_component(name ${file} NAME_WE)
  file(READ ${file} body)
  string(APPEND text "    {\"${name}\", R\"voice(${body})voice\"},\n")
  math(EXPR count "${count} + 1")
endforeach()
string(APPEND text "};\nconst int FactoryVoiceCount = ${count};\n")
file(WRITE ${OUTPUT}.new "${text}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
