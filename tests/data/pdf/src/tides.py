# Writes a tide table and a short letter with reportlab: literal strings in
# the content streams, one file uncompressed, one compressed. The table page
# repeats the same operators row after row, so its content stream compresses
# far better than ten to one.
import sys
from reportlab.lib.pagesizes import A4
from reportlab.pdfgen import canvas

def letter(c):
    t = c.beginText(72, 760)
    t.setFont("Helvetica", 12)
    for line in [
        "Dear committee,",
        "",
        "the new tide gauge at the north mole has been working since March.",
        "It records the height of the water every quarter of an hour, and",
        "the readings below were copied from its drum by the night clerk.",
        "",
        "With kind regards, the harbour office.",
    ]:
        t.textLine(line)
    c.drawText(t)
    c.showPage()

def table(c, days):
    y = 800
    c.setFont("Courier", 9)
    for day in range(1, days + 1):
        for hour in range(0, 24, 6):
            height = 100 + (day * 37 + hour * 11) % 250
            c.drawString(40, y, "Day %03d hour %02d height %d cm" % (day, hour, height))
            y -= 10
            if y < 40:
                c.showPage()
                c.setFont("Courier", 9)
                y = 800
    c.drawString(40, y, "End of the tide table.")
    c.showPage()

def logbook(c):
    # A hundred identical rows with their rules: the page's content stream
    # inflates to more than ten times its compressed size.
    c.setFont("Helvetica", 6)
    y = 810
    for row in range(100):
        c.line(40, y - 2, 550, y - 2)
        c.drawString(44, y, "Watch kept, lamps lit at seven, all ships accounted for.")
        y -= 8
    c.drawString(44, y, "End of the night log.")
    c.showPage()

for name, compress in (("reportlab-plain.pdf", 0), ("reportlab-flate.pdf", 1)):
    c = canvas.Canvas(name, pagesize=A4, pageCompression=compress, invariant=1)
    letter(c)
    table(c, 30)
    logbook(c)
    c.save()
