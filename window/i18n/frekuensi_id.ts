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
<context>
    <name>MissCause</name>
    <message>
        <source>Port %1 does not exist: is the meter&apos;s cable or adapter plugged in?</source>
        <translation>Port %1 tidak ada: apakah kabel atau adaptor alat ukur terpasang?</translation>
    </message>
    <message>
        <source>Port %1 refuses this user: join the group %2, then log in again</source>
        <translation>Port %1 menolak pengguna ini: bergabunglah dengan grup %2, lalu masuk kembali</translation>
    </message>
    <message>
        <source>Port %1 is held by another program: close that program</source>
        <translation>Port %1 sedang dipakai program lain: tutup program itu</translation>
    </message>
    <message>
        <source>Port %1 cannot be opened: %2</source>
        <translation>Port %1 tidak dapat dibuka: %2</translation>
    </message>
    <message>
        <source>No reply from the meter within %1 ms</source>
        <translation>Tidak ada balasan dari alat ukur dalam %1 ms</translation>
    </message>
    <message>
        <source>The meter&apos;s reply came too late (after %1 ms)</source>
        <translation>Balasan alat ukur datang terlambat (setelah %1 ms)</translation>
    </message>
    <message>
        <source>There is no serial port hardware at %1: plug the meter&apos;s adapter in and link it as %1 (README, &quot;The serial port&quot;)</source>
        <translation>Tidak ada perangkat keras port serial di %1: pasang adaptor alat ukur dan tautkan sebagai %1 (README, &quot;The serial port&quot;)</translation>
    </message>
    <message>
        <source>The request could not be sent to the meter: %1</source>
        <translation>Permintaan tidak dapat dikirim ke alat ukur: %1</translation>
    </message>
    <message>
        <source>The meter&apos;s reply is too short (%1 bytes)</source>
        <translation>Balasan alat ukur terlalu pendek (%1 bita)</translation>
    </message>
    <message>
        <source>The meter answers in about %1 ms, after the %2 ms deadline: its replies are missed or read a poll late</source>
        <translation>Alat ukur menjawab dalam sekitar %1 ms, setelah batas %2 ms: balasannya terlewat atau terbaca satu permintaan kemudian</translation>
    </message>
    <message>
        <source>The meter&apos;s reply is not a reading</source>
        <translation>Balasan alat ukur bukan pembacaan</translation>
    </message>
    <message>
        <source>The meter went away during the poll: cable or adapter pulled?</source>
        <translation>Alat ukur hilang saat permintaan: kabel atau adaptor dicabut?</translation>
    </message>
</context>
<context>
    <name>MissReport</name>
    <message>
        <source>%1 of the last %2 polls missed: %3</source>
        <translation>%1 dari %2 permintaan terakhir gagal: %3</translation>
    </message>
</context>
<context>
    <name>ReadingFile</name>
    <message>
        <source>another program holds it open</source>
        <translation>program lain sedang membukanya</translation>
    </message>
    <message>
        <source>the disk is full</source>
        <translation>disk penuh</translation>
    </message>
    <message>
        <source>it belongs to another user</source>
        <translation>berkas itu milik pengguna lain</translation>
    </message>
    <message>
        <source>its folder may not be written</source>
        <translation>foldernya tidak boleh ditulisi</translation>
    </message>
    <message>
        <source>a folder stands at its name</source>
        <translation>ada folder dengan nama itu</translation>
    </message>
    <message>
        <source>it is marked read-only</source>
        <translation>berkas itu ditandai hanya-baca</translation>
    </message>
    <message>
        <source>freq.text is not being updated: %1</source>
        <translation>freq.text tidak diperbarui: %1</translation>
    </message>
</context>
<context>
    <name>ReadingWriter</name>
    <message>
        <source>freq.text is %1 s behind: the disk is slow</source>
        <translation>freq.text tertinggal %1 detik: disknya lambat</translation>
    </message>
</context>
</TS>
