<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="id_ID">
<context>
    <name>Announcer</name>
    <message>
        <source>Show Frekuensi</source>
        <translation>Tampilkan Frekuensi</translation>
    </message>
    <message>
        <source>Mute announcements</source>
        <translation>Bisukan pemberitahuan</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Keluar</translation>
    </message>
</context>
<context>
    <name>EventText</name>
    <message>
        <source>%1 — %2 below %3 Hz, lowest %4 Hz</source>
        <translation>%1 — %2 di bawah %3 Hz, terendah %4 Hz</translation>
    </message>
    <message>
        <source>%1 — %2 below %3 Hz, still lasting, lowest %4 Hz</source>
        <translation>%1 — %2 di bawah %3 Hz, masih berlangsung, terendah %4 Hz</translation>
    </message>
    <message>
        <source>%1 — %2 below %3 Hz until Stop, lowest %4 Hz</source>
        <translation>%1 — %2 di bawah %3 Hz hingga Stop, terendah %4 Hz</translation>
    </message>
    <message>
        <source>%1 — %2 above %3 Hz, highest %4 Hz</source>
        <translation>%1 — %2 di atas %3 Hz, tertinggi %4 Hz</translation>
    </message>
    <message>
        <source>%1 — %2 above %3 Hz, still lasting, highest %4 Hz</source>
        <translation>%1 — %2 di atas %3 Hz, masih berlangsung, tertinggi %4 Hz</translation>
    </message>
    <message>
        <source>%1 — %2 above %3 Hz until Stop, highest %4 Hz</source>
        <translation>%1 — %2 di atas %3 Hz hingga Stop, tertinggi %4 Hz</translation>
    </message>
    <message>
        <source>%1 — meter silent for %2: %3</source>
        <translation>%1 — alat ukur diam selama %2: %3</translation>
    </message>
    <message>
        <source>%1 — meter silent for %2, still lasting: %3</source>
        <translation>%1 — alat ukur diam selama %2, masih berlangsung: %3</translation>
    </message>
    <message>
        <source>%1 — meter silent for %2 until Stop: %3</source>
        <translation>%1 — alat ukur diam selama %2 hingga Stop: %3</translation>
    </message>
    <message>
        <source>below %1 Hz</source>
        <translation>di bawah %1 Hz</translation>
    </message>
    <message>
        <source>above %1 Hz</source>
        <translation>di atas %1 Hz</translation>
    </message>
    <message>
        <source>meter silent</source>
        <translation>alat ukur diam</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 jam %2 menit</translation>
    </message>
    <message>
        <source>%1 h</source>
        <translation>%1 jam</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 menit %2 detik</translation>
    </message>
    <message>
        <source>%1 min</source>
        <translation>%1 menit</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 detik</translation>
    </message>
</context>
<context>
    <name>Frekuensi</name>
    <message>
        <source>Frequency reading</source>
        <translation>Pembacaan frekuensi</translation>
    </message>
    <message>
        <source>The latest reading from the meter, in hertz; F2 shows its trend</source>
        <translation>Pembacaan terakhir dari alat ukur, dalam hertz; F2 menampilkan trennya</translation>
    </message>
    <message>
        <source>Trend</source>
        <translation>Tren</translation>
    </message>
    <message>
        <source>Watchdog ticks</source>
        <translation>Hitungan watchdog</translation>
    </message>
    <message>
        <source>Ticks of 100 ms while waiting for a reply; 2 means the reply came too late</source>
        <translation>Hitungan 100 ms selama menunggu balasan; 2 berarti balasan terlambat</translation>
    </message>
    <message>
        <source>Misses in a row</source>
        <translation>Jumlah gagal berturut-turut</translation>
    </message>
    <message>
        <source>Polls in a row that got no reading</source>
        <translation>Permintaan data berturut-turut yang tidak mendapat pembacaan</translation>
    </message>
    <message>
        <source>Heartbeat</source>
        <translation>Denyut</translation>
    </message>
    <message>
        <source>Changes between 1 and 2 on every poll</source>
        <translation>Berganti antara 1 dan 2 pada setiap permintaan data</translation>
    </message>
    <message>
        <source>Poll interval</source>
        <translation>Selang waktu permintaan data</translation>
    </message>
    <message>
        <source>How often the meter is asked for a reading</source>
        <translation>Seberapa sering data diminta dari alat ukur</translation>
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
    <message>
        <source>operator-guide.html</source>
        <translation>panduan-operator.html</translation>
    </message>
</context>
<context>
    <name>MissCause</name>
    <message>
        <source>Port %1 does not exist: is the meter&apos;s cable or adapter plugged in?</source>
        <translation>Port %1 tidak ada: apakah kabel atau adaptor alat ukur terpasang?</translation>
    </message>
    <message>
        <source>Port %1 does not exist: plug the meter&apos;s adapter in; to choose it as port 3, run sudo frekuensi-port list</source>
        <translation>Port %1 tidak ada: pasang adaptor alat ukur; untuk memilihnya sebagai port 3, jalankan sudo frekuensi-port list</translation>
    </message>
    <message>
        <source>Port %1 refuses this user: join the group %2, then log in again</source>
        <translation>Pengguna ini tidak berizin membuka port %1: minta administrator menambahkannya ke grup %2, lalu keluar dan masuk kembali</translation>
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
        <source>There is no serial port hardware at %1: plug the meter&apos;s adapter in and choose it as port 3 with sudo frekuensi-port list and sudo frekuensi-port use</source>
        <translation>Tidak ada perangkat keras port serial di %1: pasang adaptor alat ukur dan pilih sebagai port 3 dengan sudo frekuensi-port list dan sudo frekuensi-port use</translation>
    </message>
    <message>
        <source>The request could not be sent to the meter: %1</source>
        <translation>Permintaan data tidak dapat dikirim ke alat ukur: %1</translation>
    </message>
    <message>
        <source>No reply from the meter within %1 ms: the meter is silent, or answers later than that</source>
        <translation>Tidak ada balasan dari alat ukur dalam %1 ms: alat ukur diam, atau baru menjawab setelahnya</translation>
    </message>
    <message>
        <source>No reply from the meter within %1 ms, nor later: the meter is silent</source>
        <translation>Tidak ada balasan dari alat ukur dalam %1 ms, juga tidak sesudahnya: alat ukur diam</translation>
    </message>
    <message>
        <source>No reply from the meter within %1 ms: its board has its own USB port and the monitor gives it the signal it needs (DTR), so check that the board&apos;s program runs and answers at 9600 baud</source>
        <translation>Tidak ada balasan dari alat ukur dalam %1 ms: papannya punya port USB sendiri dan monitor memberinya sinyal yang dibutuhkannya (DTR), jadi periksa bahwa program papan itu berjalan dan menjawab pada 9600 baud</translation>
    </message>
    <message>
        <source>The meter&apos;s reply came too late (after %1 ms)</source>
        <translation>Balasan alat ukur datang terlambat (setelah %1 ms)</translation>
    </message>
    <message>
        <source>The meter&apos;s reply is too short (%1 bytes)</source>
        <translation>Balasan alat ukur terlalu pendek (%1 byte)</translation>
    </message>
    <message>
        <source>The meter answers in about %1 ms, after the %2 ms deadline: its replies are missed or read a poll late</source>
        <translation>Alat ukur baru menjawab setelah sekitar %1 ms, melewati batas %2 ms: balasannya terlewat atau baru terbaca pada permintaan data berikutnya</translation>
    </message>
    <message>
        <source>The meter answers later than %1 ms, after the deadline: its replies are missed or read a poll late</source>
        <translation>Alat ukur baru menjawab setelah lebih dari %1 ms, melewati batas waktu: balasannya terlewat atau baru terbaca pada permintaan data berikutnya</translation>
    </message>
    <message>
        <source>The meter&apos;s reply is not a reading</source>
        <translation>Balasan alat ukur bukan pembacaan</translation>
    </message>
    <message>
        <source>The meter went away during the poll: cable or adapter pulled?</source>
        <translation>Sambungan ke alat ukur terputus saat meminta data: kabel atau adaptor dicabut?</translation>
    </message>
</context>
<context>
    <name>MissReport</name>
    <message>
        <source>%1 of the last %2 polls missed: %3</source>
        <translation>%1 dari %2 permintaan data terakhir gagal: %3</translation>
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
        <translation>Anda tidak punya izin menulis di foldernya</translation>
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
    <message>
        <source>freq.text is written, not yet safe on disk: %1</source>
        <translation>freq.text sudah ditulis, tetapi belum aman di disk: %1</translation>
    </message>
</context>
<context>
    <name>ReadingWriter</name>
    <message>
        <source>freq.text is %1 s behind: the disk is slow</source>
        <translation>freq.text tertinggal %1 detik: disknya lambat</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>Frekuensi cannot poll %1: a process of yours holds its lock, and no Frekuensi window of yours answered.</source>
        <translation>Frekuensi tidak dapat meminta data dari %1: sebuah proses milik Anda memegang kuncinya, dan tidak ada jendela Frekuensi milik Anda yang menjawab.</translation>
    </message>
    <message>
        <source>Frekuensi cannot poll %1: a process of another user holds its lock (most likely that user&apos;s Frekuensi).</source>
        <translation>Frekuensi tidak dapat meminta data dari %1: sebuah proses milik pengguna lain memegang kuncinya (kemungkinan besar Frekuensi milik pengguna itu).</translation>
    </message>
    <message>
        <source>Frekuensi cannot poll %1: a process of user %2 holds its lock (most likely that user&apos;s Frekuensi).</source>
        <translation>Frekuensi tidak dapat meminta data dari %1: sebuah proses milik pengguna %2 memegang kuncinya (kemungkinan besar Frekuensi milik pengguna itu).</translation>
    </message>
</context>
<context>
    <name>SpanExport</name>
    <message>
        <source>Time</source>
        <translation>Waktu</translation>
    </message>
    <message>
        <source>Reading (Hz)</source>
        <translation>Pembacaan (Hz)</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>Hasil</translation>
    </message>
    <message>
        <source>reading</source>
        <translation>pembacaan</translation>
    </message>
    <message>
        <source>miss</source>
        <translation>gagal</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Second starting</source>
        <translation>Awal detik</translation>
    </message>
    <message>
        <source>Minute starting</source>
        <translation>Awal menit</translation>
    </message>
    <message>
        <source>Lowest (Hz)</source>
        <translation>Terendah (Hz)</translation>
    </message>
    <message>
        <source>Mean (Hz)</source>
        <translation>Rata-rata (Hz)</translation>
    </message>
    <message>
        <source>Highest (Hz)</source>
        <translation>Tertinggi (Hz)</translation>
    </message>
    <message>
        <source>Readings</source>
        <translation>Pembacaan</translation>
    </message>
    <message>
        <source>Misses</source>
        <translation>Gagal</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Mulai</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Selesai</translation>
    </message>
    <message>
        <source>Duration (s)</source>
        <translation>Lama (detik)</translation>
    </message>
    <message>
        <source>Event</source>
        <translation>Peristiwa</translation>
    </message>
    <message>
        <source>%1, until %2</source>
        <translation>%1, sampai %2</translation>
    </message>
</context>
<context>
    <name>TrendChart</name>
    <message>
        <source>Beyond 45–55 Hz: %1 Hz</source>
        <translation>Di luar 45–55 Hz: %1 Hz</translation>
    </message>
    <message>
        <source>Misses: %1</source>
        <translation>Gagal: %1</translation>
    </message>
</context>
<context>
    <name>TrendExport</name>
    <message>
        <source>Save the span as CSV</source>
        <translation>Simpan rentang sebagai CSV</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>Berkas CSV (*.csv)</translation>
    </message>
    <message>
        <source>Save the chart as PNG</source>
        <translation>Simpan grafik sebagai PNG</translation>
    </message>
    <message>
        <source>PNG pictures (*.png)</source>
        <translation>Gambar PNG (*.png)</translation>
    </message>
    <message>
        <source>Frekuensi — not saved</source>
        <translation>Frekuensi — tidak tersimpan</translation>
    </message>
    <message>
        <source>%1 could not be written: %2</source>
        <translation>%1 tidak dapat ditulis: %2</translation>
    </message>
    <message>
        <source>Nothing is lost: the trend window keeps everything it showed, and an earlier file of that name is left as it was.</source>
        <translation>Tidak ada yang hilang: jendela tren tetap menyimpan semua yang ditampilkannya, dan berkas lama dengan nama itu dibiarkan seperti semula.</translation>
    </message>
</context>
<context>
    <name>TrendWindow</name>
    <message>
        <source>Frekuensi — trend</source>
        <translation>Frekuensi — tren</translation>
    </message>
    <message>
        <source>Trend chart</source>
        <translation>Grafik tren</translation>
    </message>
    <message>
        <source>1 min</source>
        <translation>1 menit</translation>
    </message>
    <message>
        <source>10 min</source>
        <translation>10 menit</translation>
    </message>
    <message>
        <source>1 h</source>
        <translation>1 jam</translation>
    </message>
    <message>
        <source>24 h</source>
        <translation>24 jam</translation>
    </message>
    <message>
        <source>The last minute</source>
        <translation>Satu menit terakhir</translation>
    </message>
    <message>
        <source>The last ten minutes</source>
        <translation>Sepuluh menit terakhir</translation>
    </message>
    <message>
        <source>The last hour</source>
        <translation>Satu jam terakhir</translation>
    </message>
    <message>
        <source>The last day</source>
        <translation>Satu hari terakhir</translation>
    </message>
    <message>
        <source>%1, key %2</source>
        <translation>%1, tombol %2</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>Save as CSV…</source>
        <translation>Simpan sebagai CSV…</translation>
    </message>
    <message>
        <source>Saves the span&apos;s readings and events as a CSV file for a spreadsheet</source>
        <translation>Menyimpan pembacaan dan peristiwa rentang ini sebagai berkas CSV untuk lembar kerja</translation>
    </message>
    <message>
        <source>Save as PNG…</source>
        <translation>Simpan sebagai PNG…</translation>
    </message>
    <message>
        <source>Saves the chart as a PNG picture</source>
        <translation>Menyimpan grafik sebagai gambar PNG</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Salin</translation>
    </message>
    <message>
        <source>Copies the figures and the events as text</source>
        <translation>Menyalin angka dan peristiwa sebagai teks</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 jam %2 menit</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 menit %2 detik</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 detik</translation>
    </message>
    <message>
        <source>Now: %1 Hz (%2 Hz)</source>
        <translation>Sekarang: %1 Hz (%2 Hz)</translation>
    </message>
    <message>
        <source>Now: %1 Hz (%2 mHz)</source>
        <translation>Sekarang: %1 Hz (%2 mHz)</translation>
    </message>
    <message>
        <source>Lowest: %1 Hz at %2</source>
        <translation>Terendah: %1 Hz pada %2</translation>
    </message>
    <message>
        <source>Highest: %1 Hz at %2</source>
        <translation>Tertinggi: %1 Hz pada %2</translation>
    </message>
    <message>
        <source>Mean: %1 Hz</source>
        <translation>Rata-rata: %1 Hz</translation>
    </message>
    <message>
        <source>Outside %1–%2 Hz: %3</source>
        <translation>Di luar %1–%2 Hz: %3</translation>
    </message>
    <message>
        <source>No readings in this span</source>
        <translation>Tidak ada pembacaan dalam rentang ini</translation>
    </message>
    <message>
        <source>Readings: %1, misses: %2</source>
        <translation>Pembacaan: %1, gagal: %2</translation>
    </message>
    <message>
        <source>Readings beyond 45–55 Hz: %1 (%2 Hz), left out of the scale and the mean</source>
        <translation>Pembacaan di luar 45–55 Hz: %1 (%2 Hz), tidak masuk skala dan rata-rata</translation>
    </message>
    <message>
        <source>No reading since %1</source>
        <translation>Tidak ada pembacaan sejak %1</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Events in this span, newest first</source>
        <translation>Peristiwa dalam rentang ini, yang terbaru di atas</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Peristiwa</translation>
    </message>
    <message>
        <source>Times outside %1–%2 Hz and silences of the meter in the span shown, newest first; Enter shows one on the chart</source>
        <translation>Saat-saat di luar %1–%2 Hz dan saat alat ukur diam dalam rentang yang ditampilkan, yang terbaru di atas; Enter menampilkan salah satunya pada grafik</translation>
    </message>
    <message>
        <source>No events in this span</source>
        <translation>Tidak ada peristiwa dalam rentang ini</translation>
    </message>
    <message>
        <source>Around %1</source>
        <translation>Sekitar %1</translation>
    </message>
    <message>
        <source>%1; a span key shows the latest again</source>
        <translation>%1; tombol rentang menampilkan yang terbaru lagi</translation>
    </message>
</context>
</TS>
