// SPDX-License-Identifier: MIT
// A program built against the packaged assembly alone: what a NuGet user
// writes first.
using System;
using Leafturn;

static class Consumer
{
    static int Main(string[] args)
    {
        string input = args[0], output = args[1];
        try
        {
            int pages = Pdf.PageCount(input);
            Pdf.RotateAll(input, output, 90);
            Console.WriteLine("pages " + pages + ", page 1 now at " + Pdf.GetRotation(output, 1));
            using (Document doc = Document.Open(input))
            {
                doc.Rotate(180, new[] { 1 });
                doc.Save(output, SaveMode.Incremental);
            }
            using (Document doc = Document.Open(output))
                Console.WriteLine("document: " + doc.PageCount + " pages, page 1 at " + doc.Page(1).Rotation +
                                  ", saved as an update");
            Pdf.GetRotation(input, pages + 1);
            return 1;
        }
        catch (LeafturnException e)
        {
            Console.WriteLine("error: " + e.Message);
            return 0;
        }
    }
}
