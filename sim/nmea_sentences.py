"""NMEA 0183 sentence building and reading for the receiver simulator.

Standard library only. Positions are in signed degrees (north and east
positive); times of day are seconds since UTC midnight.
"""

import math
import re

KNOTS_PER_MPS = 3600.0 / 1852.0

# The service's day and run logs append ",<step m>,<yymmdd>,<xor>" behind the
# checksum digits of every GGA line; a replay strips that tail again.
_LOG_TAIL = re.compile(r"^(\$[^*\r\n]*\*[0-9A-Fa-f]{2}),-?\d+(?:\.\d+)?,\d{6},\d{1,3}\s*$")


def checksum(body):
    """XOR of the characters between '$' and '*', as two uppercase hex digits."""
    value = 0
    for ch in body.encode("latin-1"):
        value ^= ch
    return "%02X" % value


def frame(body, bad_checksum=False, lowercase=False):
    """Makes the full line '$' + body + '*' + checksum + CR LF.

    bad_checksum writes a wrong (but well-formed) checksum; lowercase writes
    the right one in lowercase hex, which strict readers reject.
    """
    cs = checksum(body)
    if bad_checksum:
        cs = "%02X" % (int(cs, 16) ^ 0x5A)
    elif lowercase:
        cs = cs.lower()
    return "$%s*%s\r\n" % (body, cs)


def _angle(deg, degree_digits, decimals):
    """ddmm.mmmm (or dddmm.mmmm) of |deg|, with carry when minutes round to 60."""
    a = abs(deg)
    d = int(a)
    minutes = round((a - d) * 60.0, decimals)
    if minutes >= 60.0:
        d += 1
        minutes -= 60.0
    width = 3 + decimals if decimals > 0 else 2
    return "%0*d%0*.*f" % (degree_digits, d, width, decimals, minutes)


def format_lat(deg, decimals=5):
    return _angle(deg, 2, decimals), ("N" if deg >= 0 else "S")


def format_lon(deg, decimals=5):
    return _angle(deg, 3, decimals), ("E" if deg >= 0 else "W")


def format_time(seconds_of_day, decimals=2):
    """hhmmss.ss of a time of day in seconds (wrapped into one day)."""
    t = round(seconds_of_day % 86400.0, decimals)
    if t >= 86400.0:
        t = 0.0
    h = int(t // 3600)
    m = int((t - h * 3600) // 60)
    s = t - h * 3600 - m * 60
    if decimals > 0:
        return "%02d%02d%0*.*f" % (h, m, 3 + decimals, decimals, s)
    return "%02d%02d%02d" % (h, m, int(s))


def time_number(seconds_of_day, decimals=2):
    """The hhmmss.ss number that a reader of format_time() gets."""
    return float(format_time(seconds_of_day, decimals))


def gga(talker, seconds_of_day, lat, lon, sats, quality=1, hdop=0.9, altitude=150.0,
        decimals=5):
    lat_text, ns = format_lat(lat, decimals)
    lon_text, ew = format_lon(lon, decimals)
    fields = [
        talker + "GGA", format_time(seconds_of_day), lat_text, ns, lon_text, ew,
        str(quality), "%02d" % sats, "%.1f" % hdop, "%.1f" % altitude, "M", "14.0", "M", "", "",
    ]
    return ",".join(fields)


def rmc(talker, seconds_of_day, lat, lon, speed_mps, course_deg, day, month, year, decimals=5):
    lat_text, ns = format_lat(lat, decimals)
    lon_text, ew = format_lon(lon, decimals)
    fields = [
        talker + "RMC", format_time(seconds_of_day), "A", lat_text, ns, lon_text, ew,
        "%.2f" % (speed_mps * KNOTS_PER_MPS), "%.1f" % (course_deg % 360.0),
        "%02d%02d%02d" % (day, month, year % 100), "", "", "A",
    ]
    return ",".join(fields)


def gsa(talker, prns, pdop=1.6, hdop=0.9, vdop=1.3):
    slots = ["%02d" % p for p in prns[:12]] + [""] * (12 - min(len(prns), 12))
    return ",".join([talker + "GSA", "A", "3"] + slots + ["%.1f" % pdop, "%.1f" % hdop,
                                                       "%.1f" % vdop])


def ddmm_to_degrees(text):
    """ddmm.mmmm text to degrees, unsigned, as a hemisphere-blind reader sees it."""
    try:
        v = float(text)
    except ValueError:
        return None
    d = math.trunc(v / 100.0)
    return d + (v / 100.0 - d) * 100.0 / 60.0


def strip_log_fields(line):
    """A line of the service's fix log without the fields the service added."""
    m = _LOG_TAIL.match(line)
    return m.group(1) if m else line


def describe(line):
    """What a sentence line says, for the simulator's record of what it sent.

    Returns a dict with at least "line"; sentences add "type", "talker" and
    "checksum_ok", and GGA, RMC and GSA their values.
    """
    text = line.rstrip("\r\n")
    info = {"line": text}
    start = text.find("$")
    if start < 0:
        info["type"] = "junk"
        return info
    sentence = text[start:]
    star = sentence.find("*")
    body = sentence[1:star] if star >= 0 else sentence[1:]
    info["checksum_ok"] = star >= 0 and sentence[star + 1:star + 3] == checksum(body)
    fields = body.split(",")
    tag = fields[0]
    info["talker"], info["type"] = tag[:2], tag[2:]
    info["commas"] = body.count(",")

    def field(i):
        return fields[i] if i < len(fields) else ""

    if info["type"] == "GGA":
        info["time"] = float(field(1)) if field(1) else None
        lat, lon = ddmm_to_degrees(field(2)), ddmm_to_degrees(field(4))
        if lat is not None and field(3) == "S":
            lat = -lat
        if lon is not None and field(5) == "W":
            lon = -lon
        info["lat"], info["lon"] = lat, lon
        info["sats"] = int(field(7)) if field(7).isdigit() else 0
    elif info["type"] == "RMC":
        info["time"] = float(field(1)) if field(1) else None
        date = field(9)
        info["date"] = date
        if len(date) == 6 and date.isdigit():
            info["day"], info["month"], info["year"] = int(date[:2]), int(date[2:4]), 2000 + int(
                date[4:])
    elif info["type"] == "GSA":
        info["used"] = sum(1 for i in range(3, 15) if field(i).isdigit() and int(field(i)) > 0)
    return info
