// Text: glyph quads cut from a font texture, tinted by the vertex colour.

texture tex;
float4 color = { 1.0f, 1.0f, 1.0f, 1.0f };

sampler glyphSampler = sampler_state
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

float4 PS(VertexOut input) : COLOR
{
    float4 glyph = tex2D(glyphSampler, input.uv);
    return float4(input.color.rgb, input.color.a * glyph.a);
}

technique text_basic
{
    pass p0
    {
        AlphaBlendEnable = false;
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
