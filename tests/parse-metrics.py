# Reads a Prometheus text exposition with python3-prometheus-client's parser and prints its
# samples on one line, by name less the common prefix, times within five minutes as "recent";
# fails unless every metric is a described gauge and the set is empty or whole.
#   parse-metrics.py EXPOSITION
import sys
import time

from prometheus_client.parser import text_string_to_metric_families as parse

families = list(parse(sys.argv[1]))
assert all(f.type == "gauge" and f.documentation for f in families) and len(families) in (0, 5)


def shown(sample):
    labels = ",".join(k + "=" + v for k, v in sorted(sample.labels.items()))
    recent = sample.name.endswith("seconds") and abs(sample.value - time.time()) < 300
    return sample.name[16:] + "{" + labels + "} " + ("recent" if recent else str(sample.value))


print("; ".join(shown(s) for f in families for s in f.samples))
