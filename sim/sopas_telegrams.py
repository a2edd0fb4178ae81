"""CoLa A telegrams of SICK LMS100-family scanners, as the scanner words them.

Every telegram is STX (0x02), ASCII text, ETX (0x03). Fields are separated by
single spaces; numbers are hexadecimal unless they carry a '+' or '-' sign
(decimal). Angles travel in 1/10000 degree, frequencies in 1/100 Hz, distances
in millimetres.

This module holds the wire texts and the grammar in one place: framing, the
start-up replies, the output configuration that "sWN LMDscandatacfg" sets, the
LMDscandata scan telegram (built and decoded), and the STlms device state.
"""

import dataclasses

STX = b"\x02"
ETX = b"\x03"

# Replies of the start sequence, worded as an LMS1xx answers them.
ACCESS_GRANTED = "sAN SetAccessMode 1"
ACCESS_DENIED = "sAN SetAccessMode 0"
CONFIG_ACCEPTED = "sWA LMDscandatacfg"
RUN_DONE = "sAN Run 1"
START_MEAS_DONE = "sAN LMCstartmeas 0"
STOP_MEAS_DONE = "sAN LMCstopmeas 0"

# Error replies ("sFA <code>", hexadecimal code).
ERR_ACCESS = "sFA 1"  # method access denied (user level)
ERR_UNKNOWN_METHOD = "sFA 2"
ERR_UNKNOWN_VARIABLE = "sFA 3"
ERR_CONDITION = "sFA 4"  # local condition failed: value out of range, or not measuring
ERR_INVALID_DATA = "sFA 5"
ERR_WRITE_DENIED = "sFA A"  # variable write access denied: not logged in
ERR_UNKNOWN_COMMAND = "sFA C"

# Device states of "sRA STlms <state> ...".
STATE_READY = 6  # measurement stopped, device ready
STATE_PREPARING = 5
STATE_MEASURING = 7  # scan data can be requested

SCALE_ONE = "3F800000"  # IEEE-754 1.0
OFFSET_ZERO = "00000000"
MEASUREMENT_FREQUENCY = 0x168  # in 100 Hz units: 36 kHz
DEFAULT_SERIAL = 0x89A27F

# Access levels that "sMN SetAccessMode" accepts: maintenance, authorised client, service.
ACCESS_LEVELS = (2, 3, 4)


def frame(text):
    """One telegram on the wire."""
    return STX + text.encode("latin-1") + ETX


def hx(value):
    """Unsigned hexadecimal as CoLa A sends it: upper case, no leading zeros.

    Negative values are sent as their 32-bit two's complement (start angle -45 deg
    travels as FFF92230)."""
    return "%X" % (int(value) & 0xFFFFFFFF)


def number(token):
    """A numeric field: decimal with a sign, hexadecimal without."""
    if token[:1] in ("+", "-"):
        return int(token, 10)
    return int(token, 16)


def signed32(value):
    return value - (1 << 32) if value & 0x80000000 else value


def tokens_of(text):
    """Fields of a telegram: split at spaces, empty fields dropped (STX and ETX removed)."""
    if text.startswith("\x02"):
        text = text[1:]
    text = text.rstrip("\r\n")
    if text.endswith("\x03"):
        text = text[:-1]
    return [t for t in text.split(" ") if t]


class Deframer:
    """Cuts STX ... ETX telegrams out of a byte stream.

    feed() returns a list of ("telegram", text) and ("junk", bytes) items in
    arrival order. Bytes outside a frame are junk; a frame that grows past the
    limit without its ETX is dropped as junk."""

    def __init__(self, limit=4096):
        self.limit = limit
        self.buffer = b""

    def feed(self, data):
        items = []
        buf = self.buffer + data
        while buf:
            start = buf.find(STX)
            if start < 0:
                items.append(("junk", buf))
                buf = b""
                break
            if start > 0:
                items.append(("junk", buf[:start]))
                buf = buf[start:]
            end = buf.find(ETX, 1)
            inner_stx = buf.find(STX, 1)
            if 0 < inner_stx and (end < 0 or inner_stx < end):
                items.append(("junk", buf[:inner_stx]))  # an unterminated frame
                buf = buf[inner_stx:]
                continue
            if end < 0:
                if len(buf) > self.limit:
                    items.append(("junk", buf))
                    buf = b""
                break
            items.append(("telegram", buf[1:end].decode("latin-1")))
            buf = buf[end + 1:]
        self.buffer = buf
        return items


@dataclasses.dataclass
class OutputConfig:
    """What "sWN LMDscandatacfg" chose for the scan telegram.

    Twelve parameters: output channel (2 bytes), remission 0/1, resolution
    (0 = 8-bit, 1 = 16-bit remission), unit, encoder (2 bytes), position, device
    name, comment, time, output interval."""

    channel: tuple = (1, 0)
    remission: bool = False
    bits16: bool = False
    unit: int = 0
    encoder: tuple = (0, 0)
    position: bool = False
    name: bool = False
    comment: bool = False
    time: bool = False
    interval: int = 1

    @property
    def encoders(self):
        return 1 if self.encoder[0] else 0

    @property
    def remission_bits(self):
        if not self.remission:
            return 0
        return 16 if self.bits16 else 8

    @property
    def layout(self):
        """1: the telegram of the client's first configuration (no encoder, 16-bit
        remission: DIST1 at field 20, RSSI1 straight after the distances); 2: its
        second configuration (one encoder, 8-bit remission: DIST1 at field 22, the
        8-bit channel count before RSSI1); 0: any other telegram."""
        if self.remission and self.bits16 and self.encoders == 0:
            return 1
        if self.remission and not self.bits16 and self.encoders == 1:
            return 2
        return 0


def parse_scandatacfg(params):
    """OutputConfig from the parameter fields, or None when they are not valid."""
    if len(params) != 12:
        return None
    try:
        v = [number(p) for p in params]
    except ValueError:
        return None
    flags = (v[2], v[3], v[7], v[8], v[9], v[10])
    if any(f not in (0, 1) for f in flags) or v[4] != 0:
        return None
    if not 0 <= v[0] <= 3 or not 0 <= v[5] <= 1 or not 1 <= v[11] <= 50000:
        return None
    return OutputConfig(channel=(v[0], v[1]), remission=bool(v[2]), bits16=bool(v[3]), unit=v[4],
                        encoder=(v[5], v[6]), position=bool(v[7]), name=bool(v[8]),
                        comment=bool(v[9]), time=bool(v[10]), interval=v[11])


def stlms_reply(state, when):
    """'sRA STlms <state> <temperature flag> <len> <time> <len> <date> <LED1..3>'.

    when: a datetime for the device clock fields."""
    clock = when.strftime("%H:%M:%S")
    date = when.strftime("%d.%m.%Y")
    return "sRA STlms %s 0 %s %s %s %s 0 0 0" % (hx(state), hx(len(clock)), clock, hx(len(date)),
                                                  date)


@dataclasses.dataclass
class ScanTelegram:
    """The fields of one LMDscandata telegram (values as sent, unscaled)."""

    command: str = "sRA"
    version: int = 1
    device_number: int = 1
    serial: int = DEFAULT_SERIAL
    status: tuple = (0, 0)
    telegram_counter: int = 0
    scan_counter: int = 0
    time_since_start_us: int = 0
    transmit_us: int = 0
    inputs: tuple = (0, 0)
    outputs: tuple = (7, 0)
    layer_angle: int = 0
    scan_frequency: int = 5000  # 1/100 Hz
    measurement_frequency: int = MEASUREMENT_FREQUENCY
    encoders: list = dataclasses.field(default_factory=list)  # (position, speed) pairs
    start_angle: int = -450000  # 1/10000 deg
    angle_step: int = 5000  # 1/10000 deg
    distances: list = dataclasses.field(default_factory=list)
    remissions: list = None  # None: no remission channel
    remission_bits: int = 16
    announce: int = None  # count fields that differ from the values sent
    device_name: str = None
    comment: str = None
    time: tuple = None  # (year, month, day, hour, minute, second, microsecond)


def _channel(name, values, start, step, count):
    return [name, SCALE_ONE, OFFSET_ZERO, hx(start), hx(step), hx(count)] + [hx(v) for v in values]


def _text_field(text):
    return ["0"] if text is None else ["1", hx(len(text)), text]


def build_scan(t):
    """The telegram text (without STX/ETX) of a ScanTelegram."""
    out = [t.command, "LMDscandata", hx(t.version), hx(t.device_number), hx(t.serial),
           hx(t.status[0]), hx(t.status[1]), hx(t.telegram_counter & 0xFFFF),
           hx(t.scan_counter & 0xFFFF), hx(t.time_since_start_us), hx(t.transmit_us),
           hx(t.inputs[0]), hx(t.inputs[1]), hx(t.outputs[0]), hx(t.outputs[1]),
           hx(t.layer_angle), hx(t.scan_frequency), hx(t.measurement_frequency),
           hx(len(t.encoders))]
    for position, speed in t.encoders:
        out += [hx(position), hx(speed)]
    rem16 = t.remissions is not None and t.remission_bits == 16
    out.append("2" if rem16 else "1")
    count = len(t.distances) if t.announce is None else t.announce
    out += _channel("DIST1", t.distances, t.start_angle, t.angle_step, count)
    block = []
    if t.remissions is not None:
        rcount = len(t.remissions) if t.announce is None else t.announce
        block = _channel("RSSI1", t.remissions, t.start_angle, t.angle_step, rcount)
    if rem16:
        out += block + ["0"]  # no 8-bit channels follow
    else:
        out += (["1"] + block) if block else ["0"]
    out.append("0")  # position block
    out += _text_field(t.device_name)
    out += _text_field(t.comment)
    if t.time is None:
        out.append("0")
    else:
        out += ["1"] + [hx(v) for v in t.time]
    out.append("0")  # event block
    return " ".join(out)


def decode_scan(text):
    """Fields of a scan telegram by its grammar (any number of encoders and channels).

    Returns a dict with the header fields, "encoders", "channels" (name -> dict
    with scale, offset, start, step, count, values, field index of the name) and
    "complete" (False when the telegram ended inside a channel). Raises ValueError
    when the header is not that of a scan telegram."""
    tok = tokens_of(text)
    if len(tok) < 20 or tok[1] != "LMDscandata":
        raise ValueError("not an LMDscandata telegram")
    h = {"command": tok[0], "version": number(tok[2]), "device_number": number(tok[3]),
         "serial": number(tok[4]), "status": [number(tok[5]), number(tok[6])],
         "telegram_counter": number(tok[7]), "scan_counter": number(tok[8]),
         "time_since_start_us": number(tok[9]), "transmit_us": number(tok[10]),
         "scan_frequency": number(tok[16]), "measurement_frequency": number(tok[17])}
    i = 18
    n_enc = number(tok[i])
    i += 1
    h["encoders"] = []
    for _ in range(n_enc):
        h["encoders"].append((number(tok[i]), number(tok[i + 1])))
        i += 2
    channels = {}
    complete = True
    for bits in (16, 8):
        if i >= len(tok):
            complete = False
            break
        n_ch = number(tok[i])
        i += 1
        for _ in range(n_ch):
            if i + 6 > len(tok):
                complete = False
                break
            name = tok[i]
            count = number(tok[i + 5])
            values = [number(v) for v in tok[i + 6:i + 6 + count]]
            channels[name] = {"field": i, "bits": bits, "scale": tok[i + 1], "offset": tok[i + 2],
                              "start": signed32(number(tok[i + 3])), "step": number(tok[i + 4]),
                              "count": count, "values": values}
            if len(values) < count:
                complete = False
            i += 6 + count
        if not complete:
            break
    h["channels"] = channels
    h["complete"] = complete
    h["trailer"] = tok[i:] if complete else []
    h["fields"] = len(tok)
    return h
