#!/usr/bin/env python3
"""A deterministic site for benchmarks: N pages in nested folders, each with
an image, a style sheet (with its own background image) and links to two
other pages, in every reference form the scanners take. About four files
per page; every link resolves. Prints the number of files written."""
import os
import sys


def page(i, n):
    folder = "d%d/s%d" % (i % 20, i % 7)
    up = "../../"
    links = "".join(
        ' <a href="%sd%d/s%d/page%d.html">next</a>' % (up, k % 20, k % 7, k) if j == 0 else
        " <a href='%sd%d/s%d/page%d.html'>other</a>" % (up, k % 20, k % 7, k)
        for j, k in enumerate((2 * i + 1, 2 * i + 2)) if k < n)
    refresh = ('<meta http-equiv="refresh" content="0; url=%sd0/s0/page0.html">' % up
               if i == n - 1 else "")
    return folder, (
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">%s"
        "<title>Seite %d \u2013 Kestrine</title>"
        '<link href="%scss/p%d.css" rel="stylesheet">'
        "<style>.b%d{background:url(%simg/bg%d.gif)}</style>"
        "<script src='%sjs/common%d.js'></script></head>\n"
        '<body background="%simg/bg%d.gif"><h1>Page %d \u00e9t\u00e9</h1>'
        '<img src="%simg/p%d.png" alt="p">'
        '<div style="background: url(\'%simg/bg%d.gif\')">%s</div>%s'
        "<p>%s</p></body></html>\n" % (
            refresh, i, up, i, i, up, i % 50, up, i % 100, up, i % 50, i, up, i, up, i % 50,
            "text " * 40, links, "Lorem ipsum dolor sit amet. " * 30))


def main():
    root = sys.argv[1]
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    files = 0

    def write(path, data):
        nonlocal files
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("utf-8"))
        files += 1

    for i in range(n):
        folder, html = page(i, n)
        write("%s/page%d.html" % (folder, i), html)
        write("img/p%d.png" % i, b"\x89PNG\r\n\x1a\n" + bytes(200 + i % 300))
        write("css/p%d.css" % i, "body{background:url(../img/bgcss%d.gif)} h1{color:#123}\n" % i)
        write("img/bgcss%d.gif" % i, b"GIF89a" + bytes(100))
    for k in range(50):
        write("img/bg%d.gif" % k, b"GIF89a" + bytes(64))
    for k in range(100):
        write("js/common%d.js" % k, "var x%d = %d;\n" % (k, k))
    write("index.html", '<a href="d0/s0/page0.html">start</a>')
    print(files)


if __name__ == "__main__":
    main()
