<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="id_ID">
<context>
    <name>Frekuensi</name>
    <message>
        <source>Frequency reading</source>
        <translation>Pembacaan frekuensi</translation>
    </message>
    <message>
        <source>The latest reading from the meter, in hertz</source>
        <translation>Pembacaan terakhir dari alat ukur, dalam hertz</translation>
    </message>
    <message>
        <source>Watchdog ticks</source>
        <translation>Detak pengawas</translation>
    </message>
    <message>
        <source>Ticks of 100 ms while waiting for a reply; 2 means the reply came too late</source>
        <translation>Detak 100 ms selama menunggu balasan; 2 berarti balasan terlambat</translation>
    </message>
    <message>
        <source>Misses in a row</source>
        <translation>Gagal berturut-turut</translation>
    </message>
    <message>
        <source>Polls in a row that got no reading</source>
        <translation>Permintaan berturut-turut yang tidak mendapat pembacaan</translation>
    </message>
    <message>
        <source>Heartbeat</source>
        <translation>Denyut</translation>
    </message>
    <message>
        <source>Changes between 1 and 2 on every poll</source>
        <translation>Berganti antara 1 dan 2 pada setiap permintaan</translation>
    </message>
    <message>
        <source>Poll interval</source>
        <translation>Selang permintaan</translation>
    </message>
    <message>
        <source>How often the meter is asked for a reading</source>
        <translation>Seberapa sering alat ukur diminta pembacaan</translation>
    </message>
    <message>
        <source>Number of the serial port the meter is on</source>
        <translation>Nomor port serial tempat alat ukur terpasang</translation>
    </message>
    <message>
        <source>The meter is on a COM (serial) port</source>
        <translation>Alat ukur terpasang pada port COM (serial)</translation>
    </message>
    <message>
        <source>Name of the program</source>
        <translation>Nama program</translation>
    </message>
</context>
</TS>
