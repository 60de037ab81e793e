"""An independent Modbus slave for k40ctl's raw access tests: pymodbus (Debian's
python3-pymodbus) serving known values in all four tables, over Modbus TCP
(tcp PORT) or RTU on a serial device (rtu PATH). Prints "ready" once serving.

    coils      0..8   1 0 1 1 0 0 0 1 1
    discrete   0..4   0 1 1 0 1
    holding    0      0x1234      1  0xFFFE (-2 as s16)
               10-11  3.25 as f32, big word order (0x4050 0x0000)
               20-21  3.25 as f32, little word order (0x0000 0x4050)
               30-31  74565 as u32, big word order (0x0001 0x2345)
               60-65  NaN, Inf, -Inf as f32 (0x7FC0 0, 0x7F80 0, 0xFF80 0)
               70-77  -1234.5 as f32 (bytes C4 9A 50 00) in the byte orders abcd,
                      cdab, badc, dcba
               80-83  2^53 + 1 as u64, abcd    84-87  -2 as s64, abcd
               88-91  3.25 as f64, abcd        92-95  2^53 + 1 as u64, dcba
               96-99  "K40 ok" and two NULs as ascii
               0..99 exist; 100 and above give exception 02
    input      0..2   7 8 9       5-6 -1.5 as f32, big word order (0xBFC0 0x0000)

With a third argument, a comma-separated list of unit ids ("1,2,3"), each of
them is a slave of its own with these values, and unit 0 is the broadcast
address: every slave carries out the request and none answers.

With --identity NAME (anywhere on the line), the server identifies itself by
43/14: vendor "Peer Works", product code "PW-7", revision "3.1"; with NAME
"long", a vendor name of 240 characters that fills a reply, so that the
server says "more follows" on every reply (pymodbus starts its basic stream
at object 0 whatever object is asked).
"""
import logging
import sys

from pymodbus.device import ModbusDeviceIdentification
from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.server import StartSerialServer, StartTcpServer

COILS = [1, 0, 1, 1, 0, 0, 0, 1, 1]
DISCRETE = [0, 1, 1, 0, 1]


def holding():
    regs = [0] * 100
    regs[0:2] = [0x1234, 0xFFFE]
    regs[10:12] = [0x4050, 0x0000]
    regs[20:22] = [0x0000, 0x4050]
    regs[30:32] = [0x0001, 0x2345]
    regs[60:66] = [0x7FC0, 0, 0x7F80, 0, 0xFF80, 0]
    regs[70:78] = [0xC49A, 0x5000, 0x5000, 0xC49A, 0x9AC4, 0x0050, 0x0050, 0x9AC4]
    regs[80:88] = [0x0020, 0, 0, 0x0001, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE]
    regs[88:96] = [0x400A, 0, 0, 0, 0x0100, 0, 0, 0x2000]
    regs[96:100] = [0x4B34, 0x3020, 0x6F6B, 0x0000]
    return regs


def inputs():
    regs = [0] * 10
    regs[0:3] = [7, 8, 9]
    regs[5:7] = [0xBFC0, 0x0000]
    return regs


def new_slave():
    return ModbusSlaveContext(co=ModbusSequentialDataBlock(0, COILS + [0] * 91),
                              di=ModbusSequentialDataBlock(0, DISCRETE + [0] * 95),
                              hr=ModbusSequentialDataBlock(0, holding()),
                              ir=ModbusSequentialDataBlock(0, inputs()), zero_mode=True)


def identity(args):
    """The identity that --identity NAME asks for, taken out of args; None without."""
    if "--identity" not in args:
        return None
    at = args.index("--identity")
    name = args[at + 1]
    del args[at:at + 2]
    vendor = "V" * 240 if name == "long" else "Peer Works"
    return ModbusDeviceIdentification(info_name={"VendorName": vendor, "ProductCode": "PW-7",
                                                 "MajorMinorRevision": "3.1"})


def main():
    logging.disable(logging.CRITICAL)
    args = sys.argv[:]
    ident = identity(args)
    sys.argv = args
    mode, where = sys.argv[1], sys.argv[2]
    if len(sys.argv) > 3:
        units = [int(u) for u in sys.argv[3].split(",")]
        context = ModbusServerContext(slaves={u: new_slave() for u in units}, single=False)
    else:
        # single: the one slave answers every unit id, as a device on the network does.
        context = ModbusServerContext(slaves=new_slave(), single=True)
    broadcast = len(sys.argv) > 3
    print("ready", flush=True)
    if mode == "tcp":
        StartTcpServer(context=context, address=("127.0.0.1", int(where)),
                       broadcast_enable=broadcast, identity=ident)
    else:
        StartSerialServer(context=context, framer=ModbusRtuFramer, port=where, baudrate=9600,
                          broadcast_enable=broadcast, identity=ident)


if __name__ == "__main__":
    main()
