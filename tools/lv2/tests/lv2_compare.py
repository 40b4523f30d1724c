#!/usr/bin/env python3
"""The plugin against the renderer at a host's rate.

  lv2_compare.py latency PLUGIN.so RATE
      the latency the plugin's port reports, instantiated at RATE (ctypes,
      no host library)
  lv2_compare.py compare PLUGIN.f32 RENDERED.f32 LATENCY
      the plugin's output against the renderer's output converted to the
      same rate, the plugin's read LATENCY frames on: prints the delay that
      lines them up best (of LATENCY and two frames either side) and the
      level of the difference at LATENCY against the renderer's, in dB; raw
      mono 32-bit float files"""
import array
import ctypes
import math
import sys


def latency(library, rate):
    class Descriptor(ctypes.Structure):
        _fields_ = [("uri", ctypes.c_char_p), ("instantiate", ctypes.c_void_p), ("connect_port", ctypes.c_void_p),
                    ("activate", ctypes.c_void_p), ("run", ctypes.c_void_p), ("deactivate", ctypes.c_void_p),
                    ("cleanup", ctypes.c_void_p), ("extension_data", ctypes.c_void_p)]
    plugin = ctypes.CDLL(library)
    plugin.lv2_descriptor.restype = ctypes.POINTER(Descriptor)
    descriptor = plugin.lv2_descriptor(0).contents
    instantiate = ctypes.CFUNCTYPE(ctypes.c_void_p, ctypes.POINTER(Descriptor), ctypes.c_double, ctypes.c_char_p,
                                   ctypes.c_void_p)(descriptor.instantiate)
    connect = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_void_p)(descriptor.connect_port)
    run = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.c_uint32)(descriptor.run)
    activate = ctypes.CFUNCTYPE(None, ctypes.c_void_p)(descriptor.activate)
    cleanup = ctypes.CFUNCTYPE(None, ctypes.c_void_p)(descriptor.cleanup)
    features = (ctypes.c_void_p * 1)(None)
    handle = instantiate(ctypes.pointer(descriptor), rate, b"", features)
    ports = (ctypes.c_float * 15)(*([0.0] * 11 + [2.0, 8.0, -1.0, 1.0]))
    audio = (ctypes.c_float * 64)()
    for port in range(4, 15):
        connect(handle, port, ctypes.byref(ports, 4 * port))
    connect(handle, 0, audio)
    connect(handle, 1, audio)
    activate(handle)
    run(handle, 64)
    cleanup(handle)
    return int(ports[13])


def floats(path):
    data = array.array("f")
    data.frombytes(open(path, "rb").read())
    return data


def compare(plugin_path, rendered_path, reported):
    plugin, rendered = floats(plugin_path), floats(rendered_path)
    length = min(len(plugin) - reported - 64, len(rendered) - 64)

    def residue(delay):
        wrong = sum((plugin[i + delay] - rendered[i]) ** 2 for i in range(64, length))
        return wrong
    best = min(range(reported - 2, reported + 3), key=residue)
    energy = sum(rendered[i] ** 2 for i in range(64, length))
    level = 10 * math.log10(max(residue(reported), 1e-30) / energy)
    print(best, "%.1f" % level)


if __name__ == "__main__":
    if sys.argv[1] == "latency":
        print(latency(sys.argv[2], float(sys.argv[3])))
    else:
        compare(sys.argv[2], sys.argv[3], int(sys.argv[4]))
