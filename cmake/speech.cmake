# A few seconds of synthetic speech for the tests and the benchmarks, made at
# build time (espeak-ng, then sox to mono 22050 Hz 16-bit) instead of being
# kept in the repository. Without either program the speech cases are skipped.
find_program(ESPEAK_NG espeak-ng)
find_program(SOX sox)

set(VOXOTROPE_SPEECH_DIR ${CMAKE_BINARY_DIR}/speech)
set(VOXOTROPE_SPEECH_WAV ${VOXOTROPE_SPEECH_DIR}/speech.wav)
set(VOXOTROPE_SPEECH_RAW ${VOXOTROPE_SPEECH_DIR}/speech.raw)
set(speech_text "Hello, this is a test of the voice box. It records your voice, runs it \
through seven little effects and plays it back at once. Pitch makes it higher, deeper \
makes it lower, and the crazy one makes every wave as loud as it can be. Five, four, \
three, two, one. Thank you for listening, and have a pleasant evening.")

if(ESPEAK_NG AND SOX)
  add_custom_command(
    OUTPUT ${VOXOTROPE_SPEECH_WAV} ${VOXOTROPE_SPEECH_RAW}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VOXOTROPE_SPEECH_DIR}
    COMMAND ${ESPEAK_NG} -w ${VOXOTROPE_SPEECH_DIR}/espeak.wav ${speech_text}
    COMMAND ${SOX} ${VOXOTROPE_SPEECH_DIR}/espeak.wav -r 22050 -c 1 -b 16 -e signed-integer ${VOXOTROPE_SPEECH_WAV}
    COMMAND ${SOX} ${VOXOTROPE_SPEECH_WAV} -t raw -L ${VOXOTROPE_SPEECH_RAW}
    COMMENT "Generating speech samples"
    VERBATIM)
  add_custom_target(speech_samples ALL DEPENDS ${VOXOTROPE_SPEECH_WAV} ${VOXOTROPE_SPEECH_RAW})
  set(VOXOTROPE_HAVE_SPEECH ON)
else()
  message(STATUS "espeak-ng or sox missing: speech test blocks are skipped")
  set(VOXOTROPE_HAVE_SPEECH OFF)
endif()
