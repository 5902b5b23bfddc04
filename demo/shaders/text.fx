// Text: glyph quads cut from a font texture, tinted by the vertex colour.

texture tex;
float4 color = { 1.0f, 1.0f, 1.0f, 1.0f };
int filter = 2;         // 1 point (the 1:1 layout), 2 linear

sampler pointSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Point;
    MagFilter = Point;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

sampler linearSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = None;
    AddressU = Clamp;
    AddressV = Clamp;
};

struct VertexOut
{
    float4 position : POSITION;
    float4 color : COLOR0;
    float2 uv : TEXCOORD0;
};

VertexOut VS(float4 position : POSITION, float4 vertexColor : COLOR0, float2 uv : TEXCOORD0)
{
    VertexOut output;
    output.position = position;
    output.color = vertexColor * color;
    output.uv = uv;
    return output;
}

float4 Sample(float2 uv)
{
    if (filter == 1)
        return tex2D(pointSampler, uv);
    return tex2D(linearSampler, uv);
}

float4 PS(VertexOut input) : COLOR
{
    float4 glyph = Sample(input.uv);
    return float4(input.color.rgb, input.color.a * glyph.a);
}

// The glyphs' alpha is their coverage: blended, so the edges stay soft and
// the holes open; the engine's alpha test alone would draw every touched
// pixel solid. The test still skips the empty ones.
technique text_basic
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        AlphaTestEnable = true;
        ZEnable = false;
        ZWriteEnable = false;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}

technique text_blended
{
    pass p0
    {
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;
        ZEnable = false;
        ZWriteEnable = false;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
