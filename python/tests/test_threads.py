# SPDX-License-Identifier: MIT
"""Threads on different documents: each gets the bytes it would get alone.
(How much faster they finish is measured in bench/python_bench.py.)"""
import threading

import leafturn
from conftest import build_pdf


def test_four_threads_give_the_bytes_of_one_at_a_time(tmp_path):
    sources = []
    for k in range(8):
        p = tmp_path / ("t%d.pdf" % k)
        p.write_bytes(build_pdf(200 + 30 * k, page_extra=lambda i, k=k: " /Rotate %d" % (90 * ((i + k) % 4))))
        sources.append(str(p))
    selections = ["odd", "1-z,x3-5", "r10-z", None]

    def work(k):
        with leafturn.open(sources[k]) as doc:
            doc.rotate(by=90, pages=selections[k % 4])
            doc.rotate(to=0, pages=[1])
            return doc.to_bytes(), [p.rotation for p in doc.pages]

    alone = [work(k) for k in range(len(sources))]
    results = {}
    errors = []

    def thread(t):
        try:
            for rnd in range(3):
                for k in range(t, len(sources), 4):
                    results[(t, rnd, k)] = work(k)
        except Exception as e:  # reported below
            errors.append(e)

    threads = [threading.Thread(target=thread, args=(t,)) for t in range(4)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    assert not errors
    assert len(results) == 3 * len(sources)
    for (t, rnd, k), got in results.items():
        assert got == alone[k], (t, rnd, k)


def test_a_document_shared_by_mistake_is_serialised_not_corrupted(tmp_path):
    p = tmp_path / "shared.pdf"
    p.write_bytes(build_pdf(300))
    doc = leafturn.open(str(p))

    def turn():
        for _ in range(20):
            doc.rotate(by=90, pages="odd")
            doc.to_bytes()

    threads = [threading.Thread(target=turn) for _ in range(4)]
    for th in threads:
        th.start()
    for th in threads:
        th.join()
    # 80 turns by 90 of the odd pages: back where they started.
    assert [p.rotation for p in doc.pages[:4]] == [0, 0, 0, 0]
    assert leafturn.open(doc.to_bytes()).pages[0].rotation == 0
