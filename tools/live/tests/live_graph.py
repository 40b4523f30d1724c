#!/usr/bin/env python3
"""What the graph shows of voxotrope-live, and a delay measured in a recording.

  live_graph.py DUMP.json    pw-dump's output: one line of facts,
      role=NONE|ROLE links=FROM:STATE,... upstream=NS source=MIN_NS/MAX_NS
      (the capture's media role, the links into the capture, the latency
      PipeWire hands the capture in the output direction and the one the
      source's port shows in that direction)
  live_graph.py delay PROBE.raw    s16 stereo: samples from the first loud
      sample of the left channel to the first of the right"""
import array
import json
import sys


def facts(path):
    objects = json.load(open(path))
    nodes = {o["id"]: o for o in objects if o["type"].endswith(":Node")}
    names = {i: n["info"]["props"].get("node.name") for i, n in nodes.items()}
    capture = next(i for i, name in names.items() if name == "voxotrope_live_input")
    role = nodes[capture]["info"]["props"].get("media.role", "NONE")
    links = sorted({"%s:%s" % (names.get(o["info"]["output-node-id"]), o["info"]["state"])
                    for o in objects if o["type"].endswith(":Link") and o["info"]["input-node-id"] == capture})

    def latency(node, direction):
        for o in objects:
            props = (o.get("info") or {}).get("props", {})
            if o["type"].endswith(":Port") and props.get("node.id") == node and props.get("port.direction") == direction \
                    and not props.get("port.monitor"):
                for info in o["info"].get("params", {}).get("Latency", []):
                    if info["direction"] == "Output":
                        return info
        return {"minNs": -1, "maxNs": -1}
    source = next(i for i, name in names.items() if name == "voxotrope_live")
    upstream, published = latency(capture, "in"), latency(source, "out")
    print("role=%s links=%s upstream=%d source=%d/%d" % (role, ",".join(links) or "none", upstream["minNs"],
                                                       published["minNs"], published["maxNs"]))


def delay(path):
    data, raw = array.array("h"), open(path, "rb").read()
    data.frombytes(raw[: len(raw) // 4 * 4])
    left, right = data[0::2], data[1::2]
    onset = [next((n for n, x in enumerate(channel) if abs(x) > 8000), -1) for channel in (left, right)]
    print(onset[1] - onset[0] if min(onset) >= 0 else "none")


if __name__ == "__main__":
    delay(sys.argv[2]) if sys.argv[1] == "delay" else facts(sys.argv[1])
